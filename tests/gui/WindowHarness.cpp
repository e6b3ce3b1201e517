#include "WindowHarness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvel::test {

namespace {

// The one QApplication of the test program, with the plain C number format unless a test
// chooses another locale.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        QLocale::setDefault(QLocale::c());
        App = std::make_unique<QApplication>(Argc, Argv.data());
    }
    void TearDown() override { App.reset(); }

  private:
    std::string Name = "gui_tests";
    int Argc = 1;
    std::array<char*, 2> Argv{Name.data(), nullptr};
    std::unique_ptr<QApplication> App;
};

[[maybe_unused]] ::testing::Environment* const Environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

WindowHarness::WindowHarness(const SettingsLines& lines) {
    HadRuntimeDir = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    SavedRuntimeDir = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", Folder.path().toLocal8Bit());
    if (!lines.empty()) {
        std::ofstream file(SettingsPath());
        file << "[Quorvel]\n";
        for (const std::string& line : lines) {
            file << line << '\n';
        }
    }
    Create();
}

WindowHarness::~WindowHarness() {
    Form.reset();
    if (HadRuntimeDir) {
        qputenv("XDG_RUNTIME_DIR", SavedRuntimeDir);
    } else {
        qunsetenv("XDG_RUNTIME_DIR");
    }
}

std::string WindowHarness::SettingsPath() const {
    return Folder.filePath(QStringLiteral("quorvel.ini")).toStdString();
}

std::string WindowHarness::PortFolder() const {
    return Folder.filePath(QStringLiteral("quorvel/ports")).toStdString();
}

void WindowHarness::Create() {
    Form.reset();
    Form = std::make_unique<TForm_Quorvel>(SettingsPath());
    Form->show();
}

void WindowHarness::Close() {
    Form->close();
    Form.reset();
}

std::string WindowHarness::SettingsText() const {
    std::ifstream file(SettingsPath());
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

ModalBox RunExpectingBox(const std::function<void()>& action) {
    ModalBox seen;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || seen.Seen) {
            return;
        }
        seen.Seen = true;
        seen.Text = box->text();
        seen.Title = box->windowTitle();
        seen.Critical = box->icon() == QMessageBox::Critical;
        seen.Buttons = static_cast<int>(box->buttons().size());
        seen.OwnedByWindow = qobject_cast<TForm_Quorvel*>(box->parentWidget()) != nullptr;
        box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click()
                                                : box->reject();
    });
    // A box that never closes would block the action forever: close it after a long while.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    poll.start();
    giveUp.start(30000);
    action();
    return seen;
}

bool WaitFor(const std::function<bool()>& condition, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    while (!condition() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return condition();
}

void RegisterPort(const std::string& folder, const std::string& name, const std::string& target) {
    std::filesystem::create_directories(folder);
    std::filesystem::create_symlink(target, std::filesystem::path(folder) / name);
}

} // namespace quorvel::test
