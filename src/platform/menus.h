#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QAction;
class QMenuBar;

namespace vorpel::ui {

struct MenuItemDef {
    std::string name;
    std::string caption;   // "&" marks the mnemonic; "-" is a separator
    std::string shortcut;  // "Cmd+X": Cmd is the platform's command modifier
};

struct MenuDef {
    std::string name;
    std::string caption;
    std::vector<MenuItemDef> items;
};

// A menu bar built from named items. Its actions live as long as the bar; windows that show
// a bar get views of the same actions.
class MenuBar : public QObject {
    Q_OBJECT
public:
    MenuBar();
    ~MenuBar() override;

    // Appends a menu, then its items one by one.
    void appendMenu(const MenuDef& menu);
    const std::vector<MenuDef>& menus() const { return menus_; }

    QAction* item(const std::string& name) const;
    // Attaches a command by item name; it then works whichever window is in front.
    void attach(const std::string& name, std::function<void()> command);
    // The standard editing items act on the focused text field.
    void attachStandardEditing();
    void installOn(QMenuBar* bar) const;

private:
    std::vector<MenuDef> menus_;
    std::map<std::string, QAction*> actions_;
};

} // namespace vorpel::ui
