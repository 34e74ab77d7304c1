#pragma once

#include "platform/menus.h"

#include <memory>
#include <string>
#include <vector>

class QMenuBar;

namespace vorpel {

// The application object: owns the menu bar and receives the three menu commands.
class App {
public:
    App();
    ~App();

    static App* current();
    // The menus in bar order, items in menu order.
    static std::vector<ui::MenuDef> menuTable();

    ui::MenuBar* MenuBar1() const { return menuBar_.get(); }
    void installMenuBar(QMenuBar* bar) const;

    // Application event Open: bring the Drop Screen up.
    void Open();
    void fileNewconvert();
    void AppleAbout();
    void AppleDonateSupport();
    static std::string supportPageUrl();

private:
    std::unique_ptr<ui::MenuBar> menuBar_;
};

// Runs the program: start-up, event loop, shut-down.
int runApplication(int argc, char** argv);

} // namespace vorpel
