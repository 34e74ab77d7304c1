#include "menus.h"

#include "window.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

namespace vorpel::ui {
namespace {
QKeySequence keysFor(const std::string& shortcut) {
    if (shortcut.empty()) return {};
    QString s = QString::fromStdString(shortcut);
    s.replace("Cmd", "Ctrl");
    const int plus = s.lastIndexOf('+');
    if (plus >= 0) s = s.left(plus + 1) + s.mid(plus + 1).toUpper();
    return QKeySequence(s);
}

QLineEdit* focusedField() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }
} // namespace

MenuBar::MenuBar() { setObjectName("MenuBar1"); }
MenuBar::~MenuBar() = default;

void MenuBar::appendMenu(const MenuDef& menu) {
    menus_.push_back(menu);
    for (const MenuItemDef& def : menu.items) {
        // A separator is a plain line: a style may draw a separator's text beside it, and
        // only text-less separators collapse when two meet or one ends a menu.
        const bool separator = def.caption == "-";
        auto* a = new QAction(separator ? QString() : QString::fromStdString(def.caption), this);
        a->setObjectName(QString::fromStdString(def.name));
        a->setSeparator(separator);
        a->setShortcut(keysFor(def.shortcut));
        a->setShortcutContext(Qt::ApplicationShortcut);
        actions_[def.name] = a;
    }
}

QAction* MenuBar::item(const std::string& name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

void MenuBar::attach(const std::string& name, std::function<void()> command) {
    QAction* a = item(name);
    if (!a) return;
    connect(a, &QAction::triggered, this, [c = std::move(command)] { c(); });
    addApplicationAction(a);
}

void MenuBar::attachStandardEditing() {
    const std::pair<const char*, std::function<void(QLineEdit*)>> editing[] = {
        {"EditUndo", [](QLineEdit* f) { f->undo(); }},
        {"EditCut", [](QLineEdit* f) { f->cut(); }},
        {"EditCopy", [](QLineEdit* f) { f->copy(); }},
        {"EditPaste", [](QLineEdit* f) { f->paste(); }},
        {"EditClear", [](QLineEdit* f) { f->del(); }}};
    for (const auto& [name, edit] : editing) {
        QAction* a = item(name);
        if (!a) continue;
        connect(a, &QAction::triggered, this, [edit] {
            if (QLineEdit* f = focusedField()) edit(f);
        });
        addApplicationAction(a);
    }
}

void MenuBar::installOn(QMenuBar* bar) const {
    for (const MenuDef& menu : menus_) {
        QMenu* m = bar->addMenu(QString::fromStdString(menu.caption));
        m->setObjectName(QString::fromStdString(menu.name));
        for (const MenuItemDef& def : menu.items) m->addAction(item(def.name));
    }
}

} // namespace vorpel::ui
