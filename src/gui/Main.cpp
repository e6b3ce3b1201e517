// Program entry: the application, the main window and the hidden about box, then the event loop.
#include "About.h"
#include "Functionsload.h"
#include "GuiFont.h"
#include "MainWindow.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    try {
        QApplication::setApplicationName(QStringLiteral("Quorvel Kelmar"));
        QApplication::setFont(quorvel::ConsoleFont());
        quorvel::TForm_Quorvel window(quorvel::LocateSettingsFile(quorvel::ExecutableFilePath()));
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
