// Test support for the main window: a QApplication for the test program, a window over a
// temporary settings file and port folder, control lookup by name and modal box handling.
#pragma once

#include "MainWindow.h"

#include <QApplication>
#include <QEvent>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace quorvel::test {

// Settings file lines after the section header, e.g. "Baudrate=9600".
using SettingsLines = std::vector<std::string>;

// Owns a temporary folder holding the settings file and the virtual port folder; the window is
// created over them. XDG_RUNTIME_DIR points into the folder while the harness lives.
class WindowHarness {
  public:
    explicit WindowHarness(const SettingsLines& lines = {});
    ~WindowHarness();

    TForm_Quorvel& Window() { return *Form; }
    std::string SettingsPath() const;
    std::string PortFolder() const;
    // A path in the harness's temporary folder.
    std::string FilePath(const std::string& name) const;
    // Creates (again) the window, as at program start: over SettingsPath(), or over the files
    // an installed copy reads and writes.
    void Create();
    void Create(const SettingsFiles& files);
    // Closes and destroys the window, which saves the settings.
    void Close();
    // The settings file's text.
    std::string SettingsText() const;

    template <typename T> T* Find(const char* name) {
        T* found = Form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

  private:
    QTemporaryDir Folder;
    QByteArray SavedRuntimeDir;
    bool HadRuntimeDir = false;
    std::unique_ptr<TForm_Quorvel> Form;
};

// The text and title of a modal message box that a handler opened, closed with its OK button.
struct ModalBox {
    bool Seen = false;
    QString Text;
    QString Title;
    bool Critical = false;
    int Buttons = 0;
    bool OwnedByWindow = false;
};

// Runs action; every message box it opens is recorded and closed. Gives up waiting after a
// generous while so a missing box cannot hang the test.
ModalBox RunExpectingBox(const std::function<void()>& action);

// What the console's own message dialog showed (the first showing), each showing closed with its
// first button. Kind: the icon's kind found by comparing it with the four, -1 for none.
struct MessageDialogSeen {
    int Showings = 0;
    QString Caption;
    QString Title;
    QStringList Lines;   // top to bottom
    QStringList Buttons; // left to right
    int Kind = -1;
};

// Runs action; every showing of the message dialog it opens is recorded and closed.
MessageDialogSeen RunExpectingMessageDialog(const std::function<void()>& action);

// Processes events until condition holds or the generous limit passes; returns condition().
bool WaitFor(const std::function<bool()>& condition, int limitMs = 20000);

// Counts the events of one type that reach the objects it filters.
class TEventCounter : public QObject {
  public:
    TEventCounter(QEvent::Type type, int& count) : Type(type), Count(count) {}

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == Type) {
            ++Count;
        }
        return false;
    }

  private:
    QEvent::Type Type;
    int& Count;
};

// A pseudo-terminal registered under name in folder: a port that opens like a serial line.
class PtyPort {
  public:
    PtyPort(const std::string& folder, const std::string& name);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

  private:
    int Master = -1;
};

// Makes a symbolic link name → target in folder (created when missing).
void RegisterPort(const std::string& folder, const std::string& name, const std::string& target);

} // namespace quorvel::test
