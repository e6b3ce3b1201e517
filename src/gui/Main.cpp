// Program entry: the application, the main window and the hidden about box, then the event loop.
#include "About.h"
#include "Functionsload.h"
#include "GuiFont.h"
#include "MainWindow.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

namespace {
char ProgramName[] = "quorvel";
} // namespace

int main(int argc, char* argv[]) {
    // The console takes no arguments: Qt is given the program name only, so its own options
    // (-platform, -style, -reverse, -qwindowtitle, ...) on the command line change nothing.
    // Qt's environment variables (QT_QPA_PLATFORM for the tests' offscreen runs) still apply.
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : ProgramName, nullptr};
    QApplication application(qtArgc, qtArgv);
    try {
        QApplication::setApplicationName(QStringLiteral("Quorvel Kelmar"));
        QApplication::setFont(quorvel::ConsoleFont());
        quorvel::TForm_Quorvel window(quorvel::LocateSettingsFiles(quorvel::ExecutableFilePath()));
        window.SetAboutBox(new quorvel::TForm_AboutBox(&window));
        window.show();
        QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvel Kelmar"),
                              QString::fromLocal8Bit(error.what()));
        return 1;
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvel Kelmar"), QString());
        return 1;
    }
    return 0;
}
