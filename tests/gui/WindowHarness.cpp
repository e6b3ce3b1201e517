#include "WindowHarness.h"

#include "Messagedialog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <algorithm>
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

std::string WindowHarness::FilePath(const std::string& name) const {
    return Folder.filePath(QString::fromStdString(name)).toStdString();
}

void WindowHarness::Create() {
    Create(SettingsFiles::Single(SettingsPath()));
}

void WindowHarness::Create(const SettingsFiles& files) {
    Form.reset();
    Form = std::make_unique<TForm_Quorvel>(files);
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

namespace {

// Runs action while every 10 ms answer is given the open modal widget, if any. A modal widget that
// never closes would block the action forever: it is closed after a long while.
void RunAnsweringModals(const std::function<void(QWidget*)>& answer,
                        const std::function<void()>& action) {
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            answer(modal);
        }
    });
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
}

template <typename Widget>
QList<Widget*> Ordered(QWidget* parent, const QString& prefix, bool byColumn) {
    QList<Widget*> widgets;
    for (Widget* widget : parent->findChildren<Widget*>()) {
        if (widget->objectName().startsWith(prefix)) {
            widgets.append(widget);
        }
    }
    std::sort(widgets.begin(), widgets.end(), [byColumn](QWidget* a, QWidget* b) {
        return byColumn ? a->x() < b->x() : a->y() < b->y();
    });
    return widgets;
}

int IconKind(TForm_MessageDialog& dialog) {
    const QImage shown = dialog.findChild<QLabel*>(QStringLiteral("MsgIcon"))->pixmap().toImage();
    const std::array<QStyle::StandardPixmap, 4> kinds{
        QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxQuestion,
        QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical};
    for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
        const QImage icon =
            dialog.style()->standardIcon(kinds[kind], nullptr, &dialog).pixmap(32).toImage();
        if (!shown.isNull() && shown == icon) {
            return static_cast<int>(kind);
        }
    }
    return -1;
}

} // namespace

ModalBox RunExpectingBox(const std::function<void()>& action) {
    ModalBox seen;
    const auto answer = [&seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
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
    };
    RunAnsweringModals(answer, action);
    return seen;
}

MessageDialogSeen RunExpectingMessageDialog(const std::function<void()>& action) {
    MessageDialogSeen seen;
    const auto answer = [&seen](QWidget* modal) {
        auto* dialog = qobject_cast<TForm_MessageDialog*>(modal);
        if (dialog == nullptr) {
            return;
        }
        const auto buttons = Ordered<QPushButton>(dialog, QString(), true);
        if (++seen.Showings == 1) {
            seen.Caption = dialog->windowTitle();
            seen.Title = dialog->findChild<QLabel*>(QStringLiteral("Label_Title"))->text();
            for (QLabel* line : Ordered<QLabel>(dialog, QStringLiteral("LineLabel"), false)) {
                seen.Lines << line->text();
            }
            for (QPushButton* button : buttons) {
                seen.Buttons << button->text();
            }
            seen.Kind = IconKind(*dialog);
        }
        buttons.isEmpty() ? dialog->reject() : buttons.front()->click();
    };
    RunAnsweringModals(answer, action);
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
