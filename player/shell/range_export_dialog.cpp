#include "shell/range_export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vedra {

std::optional<ExportChoice> AskExportChoice(QWidget* owner, const QString& range, const QString& channels,
                                            bool hasAudio, const ExportChoice& proposed)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Export"));
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Range:"), new QLabel(range));
    form->addRow(QStringLiteral("Cameras:"), new QLabel(channels));

    auto* format = new QComboBox;
    format->addItem(QStringLiteral("Matroska (.mkv): video and sound as recorded"), int(ExportFormat::Mkv));
    format->addItem(QStringLiteral("MP4 (.mp4): video as recorded, sound as AAC"), int(ExportFormat::Mp4));
    format->addItem(QStringLiteral("AVI (.avi): one file per camera"), int(ExportFormat::Avi));
    format->setCurrentIndex(format->findData(int(proposed.format)));
    form->addRow(QStringLiteral("Format:"), format);

    auto* single = new QCheckBox(QStringLiteral("All cameras in one file"));
    single->setChecked(proposed.singleFile);
    form->addRow(QString(), single);
    auto* audio = new QCheckBox(QStringLiteral("With the sound"));
    audio->setChecked(proposed.audio && hasAudio);
    audio->setEnabled(hasAudio);
    form->addRow(QString(), audio);
    auto* sign = new QCheckBox(QStringLiteral("Signed manifest (krvtool verify checks it)"));
    sign->setChecked(proposed.sign);
    form->addRow(QString(), sign);
    auto* burnIn = new QCheckBox(QStringLiteral("Burn in time and camera (re-encoded, slower)"));
    burnIn->setChecked(proposed.burnIn);
    form->addRow(QString(), burnIn);
    // AVI holds one camera per file.
    auto followFormat = [format, single] {
        single->setEnabled(ExportFormat(format->currentData().toInt()) != ExportFormat::Avi);
    };
    QObject::connect(format, &QComboBox::currentIndexChanged, &dialog, followFormat);
    followFormat();

    auto* folder = new QLineEdit(proposed.folder);
    auto* browse = new QPushButton(QStringLiteral("Browse..."));
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, folder] {
        const QString chosen =
            QFileDialog::getExistingDirectory(&dialog, QStringLiteral("Export into"), folder->text());
        if (!chosen.isEmpty())
            folder->setText(chosen);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(folder);
    row->addWidget(browse);
    form->addRow(QStringLiteral("Folder:"), row);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Export"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);

    if (dialog.exec() != QDialog::Accepted || folder->text().trimmed().isEmpty())
        return std::nullopt;
    ExportChoice choice;
    choice.format = ExportFormat(format->currentData().toInt());
    choice.singleFile = single->isEnabled() && single->isChecked();
    choice.audio = audio->isChecked();
    choice.sign = sign->isChecked();
    choice.burnIn = burnIn->isChecked();
    choice.folder = folder->text().trimmed();
    return choice;
}

} // namespace vedra
