// The keys of the main window. They act whatever control has the focus (a focused button
// does not take Space, a focused trackbar does not take the arrows); Enter and Esc keep their
// own meaning. The same table gives the list the window shows for F1 and "?".
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QKeyEvent;
class QWidget;

namespace vedra {

struct KeyBinding {
    int key; // Qt::Key
    Qt::KeyboardModifiers modifiers;
    QString keys;   // as the list shows it
    QString action; // what it does, as the list shows it
    std::function<void()> run;
};

class ReviewKeys : public QObject {
public:
    // window: the keys act while a widget of it has the focus and no other window is modal.
    explicit ReviewKeys(QWidget* window);

    // keys and action are the binding's line in the list; a binding without them shares the
    // line of the one before it.
    void Bind(int key, Qt::KeyboardModifiers modifiers, const QString& keys, const QString& action,
              std::function<void()> run);
    // A line of the list for what the mouse does, bound to no key.
    void Describe(const QString& what, const QString& action);
    // "Space  Play / Pause" lines, one per binding shown.
    QString List() const;
    // The binding of a key press, or nullptr.
    const KeyBinding* Find(const QKeyEvent& event) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::vector<KeyBinding> bindings_;
};

} // namespace vedra
