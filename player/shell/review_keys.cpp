#include "shell/review_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace vedra {
namespace {

// Modifiers that tell keys apart; the keypad and the Shift of a shifted character do not.
Qt::KeyboardModifiers Significant(const QKeyEvent& event)
{
    Qt::KeyboardModifiers m = event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    // Characters typed with Shift ('?', '{', ...) come with it; their key says it all.
    if (event.key() >= Qt::Key_Exclam && event.key() <= Qt::Key_AsciiTilde && !event.text().isEmpty() &&
        !(event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z))
        m &= ~Qt::ShiftModifier;
    return m;
}

} // namespace

ReviewKeys::ReviewKeys(QWidget* window) : QObject(window), window_(window)
{
    qApp->installEventFilter(this);
}

void ReviewKeys::Bind(int key, Qt::KeyboardModifiers modifiers, const QString& keys, const QString& action,
                      std::function<void()> run)
{
    bindings_.push_back({key, modifiers, keys, action, std::move(run)});
}

void ReviewKeys::Describe(const QString& what, const QString& action)
{
    bindings_.push_back({Qt::Key_unknown, Qt::NoModifier, what, action, nullptr});
}

QString ReviewKeys::List() const
{
    QStringList lines;
    for (const KeyBinding& binding : bindings_)
        if (!binding.keys.isEmpty())
            lines << binding.keys.leftJustified(20) + binding.action;
    return lines.join('\n');
}

const KeyBinding* ReviewKeys::Find(const QKeyEvent& event) const
{
    const Qt::KeyboardModifiers modifiers = Significant(event);
    for (const KeyBinding& binding : bindings_)
        if (binding.run && binding.key == event.key() && binding.modifiers == modifiers)
            return &binding;
    return nullptr;
}

bool ReviewKeys::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != window_)
        return false;
    // A message box, a file dialog or a menu of the moment keeps its keys.
    if (QApplication::activeModalWidget() != nullptr && QApplication::activeModalWidget() != window_)
        return false;
    if (QApplication::activePopupWidget() != nullptr)
        return false;
    const KeyBinding* binding = Find(*static_cast<QKeyEvent*>(event));
    if (binding == nullptr)
        return false;
    event->accept();
    // Claiming the shortcut keeps the focused widget from taking the key; the press runs it.
    if (type == QEvent::KeyPress)
        binding->run();
    return true;
}

} // namespace vedra
