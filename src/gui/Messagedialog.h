// The console's own modal message box: an icon of four kinds, a bold title, up to twelve
// text lines and up to ten Hungarian buttons, sized to its contents. GUI thread only; one
// showing at a time. Lines added with AddMessageLine are consumed by the next showing.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

class QLabel;
class QPushButton;

namespace quorvel {

// Button bits, in the order their buttons appear; the pressed button's bit is the result.
enum MessageButton : std::uint16_t {
    mbOK = 0x0010,
    mbYes = 0x0020,
    mbYesToAll = 0x0040,
    mbNo = 0x0080,
    mbNoToAll = 0x0100,
    mbIgnoreAll = 0x0200,
    mbAbort = 0x0400,
    mbRetry = 0x0800,
    mbIgnore = 0x1000,
    mbCancel = 0x2000,
};

// Kinds: the icon shown and the sound made.
enum MessageKind : std::uint8_t { mkInformation = 0, mkQuestion = 1, mkWarning = 2, mkError = 3 };

// Result of a showing left with Escape.
inline constexpr std::int32_t MessageEscapeResult = 2;

class TForm_MessageDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int MaxLines = 12;
    static constexpr int MaxButtons = 12;

    explicit TForm_MessageDialog(QWidget* parent = nullptr);

    void AddMessageLine(const QString& text);
    // Lays the dialog out, shows it modally and returns the pressed button's bit (2 on
    // Escape). The lines, labels and buttons of the showing are removed when it closes.
    std::int32_t ShowMessageDialog(std::uint8_t kind, const QString& caption, const QString& title,
                                   std::uint16_t buttons);

    // The text lines waiting for the next showing.
    const QStringList& PendingLines() const { return MessageLines; }

    void reject() override; // Escape or a close request: ends the showing with 2

  private:
    int LayOutLines(int width);
    int LayOutButtons(int width, int lineCount, std::uint16_t buttons);
    void ShowIcon(std::uint8_t kind);
    void ClearShowing();

    QLabel* MsgIcon;
    QLabel* Label_Title;
    QStringList MessageLines;
    std::array<QLabel*, MaxLines> LineLabels{};
    std::array<QPushButton*, MaxButtons> DialogButtons{};
    std::uint8_t ButtonCount = 0;
};

// The process-wide dialog, created on first use over the active main window.
void AddMessageLine(const QString& text);
std::int32_t ShowMessageDialog(std::uint8_t kind, const QString& caption, const QString& title,
                               std::uint16_t buttons);
TForm_MessageDialog* Form_MessageDialog();

} // namespace quorvel
