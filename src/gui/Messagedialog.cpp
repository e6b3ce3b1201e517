#include "Messagedialog.h"

#include "GuiFont.h"
#include "MessageBeep.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include <bit>

namespace quorvel {

namespace {

struct ButtonInfo {
    std::uint16_t Bit;
    const char* Caption; // UTF-8
};

// Table order is the order of the buttons on the dialog.
constexpr std::array<ButtonInfo, 10> ButtonTable{{
    {mbOK, "OK"},
    {mbYes, "Igen"},
    {mbYesToAll, "Igen, mindet"},
    {mbNo, "Nem"},
    {mbNoToAll, "Nem, egyet sem"},
    {mbIgnoreAll, "Mind kihagyja"},
    {mbAbort, "Megszakít"},
    {mbRetry, "Újrapróbál"},
    {mbIgnore, "Kihagy"},
    {mbCancel, "Mégse"},
}};

// Only the table's bits make buttons: other bits would make buttons without caption or result.
constexpr std::uint16_t KnownButtonBits = 0x3FF0;

constexpr QSize DesignClientSize(430, 105);
constexpr int IconSize = 32;
constexpr int TextLeft = 65;
constexpr int LinePitch = 15;
constexpr int FirstLineTop = 35;
constexpr int ButtonPitch = 95;
constexpr int ButtonWidth = 90;
constexpr int ButtonHeight = 25;
constexpr int SideMargins = 75; // text column at 65 plus 10 on the right
constexpr int ButtonMargins = 15;

QLabel* SizedLabel(const QString& text, QPoint pos, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->move(pos);
    const QFontMetrics metrics(label->font());
    label->resize(metrics.horizontalAdvance(text), metrics.height());
    label->show();
    return label;
}

// "Nem, egyet sem" is wider than a button in the window font: such captions use a condensed
// face of the same size (only the stretch is set, the rest comes from the dialog).
void FitCaption(QPushButton* button) {
    constexpr int captionRoom = ButtonWidth - 12; // the style's frame and padding
    if (button->fontMetrics().horizontalAdvance(button->text()) > captionRoom) {
        QFont narrow;
        narrow.setStretch(QFont::SemiCondensed);
        button->setFont(narrow);
    }
}

QStyle::StandardPixmap KindIcon(std::uint8_t kind) {
    switch (kind) {
    case mkQuestion:
        return QStyle::SP_MessageBoxQuestion;
    case mkWarning:
        return QStyle::SP_MessageBoxWarning;
    case mkError:
        return QStyle::SP_MessageBoxCritical;
    default:
        return QStyle::SP_MessageBoxInformation;
    }
}

QWidget* MainWindowForDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(widget) != nullptr && widget->isVisible()) {
            return widget;
        }
    }
    return QApplication::activeWindow();
}

} // namespace

TForm_MessageDialog::TForm_MessageDialog(QWidget* parent)
    : QDialog(parent), MsgIcon(new QLabel(this)), Label_Title(new QLabel(this)) {
    setObjectName(QStringLiteral("Form_MessageDialog"));
    setWindowTitle(QStringLiteral("Figyelem!"));
    // Caption only: no system menu, no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    setFont(ConsoleFont());
    setFixedSize(DesignClientSize);
    MsgIcon->setObjectName(QStringLiteral("MsgIcon"));
    MsgIcon->setGeometry(10, 10, IconSize, IconSize);
    Label_Title->setObjectName(QStringLiteral("Label_Title"));
    QFont bold = font();
    bold.setBold(true);
    Label_Title->setFont(bold);
    Label_Title->move(TextLeft, 10);
    Label_Title->setText(QStringLiteral("Cím"));
    Label_Title->adjustSize();
}

void TForm_MessageDialog::AddMessageLine(const QString& text) {
    MessageLines.append(text);
}

void TForm_MessageDialog::reject() {
    done(MessageEscapeResult);
}

int TForm_MessageDialog::LayOutLines(int width) {
    for (int i = 0; i < MessageLines.size(); ++i) {
        QLabel* label = SizedLabel(MessageLines[i], {TextLeft, LinePitch * i + FirstLineTop}, this);
        label->setObjectName(QStringLiteral("LineLabel%1").arg(i));
        LineLabels[static_cast<std::size_t>(i)] = label;
        width = std::max(width, label->width());
    }
    return width;
}

int TForm_MessageDialog::LayOutButtons(int width, int lineCount, std::uint16_t buttons) {
    const std::uint16_t shown = buttons & KnownButtonBits;
    ButtonCount = static_cast<std::uint8_t>(std::popcount(shown));
    const int k = ButtonCount;
    width = std::max(width, ButtonPitch * k + ButtonMargins);
    const int x0 = (width - ButtonPitch * k + 5) / 2;
    std::size_t next = 0;
    for (const ButtonInfo& info : ButtonTable) {
        if ((shown & info.Bit) == 0) {
            continue;
        }
        auto* button = new QPushButton(QString::fromUtf8(info.Caption), this);
        button->setObjectName(QStringLiteral("DialogButton%1").arg(next));
        FitCaption(button);
        button->setGeometry(x0 + ButtonPitch * static_cast<int>(next), LinePitch * lineCount + 50,
                            ButtonWidth, ButtonHeight);
        const std::int32_t result = info.Bit;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        button->show();
        DialogButtons[next++] = button;
    }
    return width;
}

void TForm_MessageDialog::ShowIcon(std::uint8_t kind) {
    MsgIcon->clear();
    if (kind > mkError) {
        return; // unknown kind: no icon
    }
    MsgIcon->setPixmap(style()->standardIcon(KindIcon(kind), nullptr, this).pixmap(IconSize));
}

std::int32_t TForm_MessageDialog::ShowMessageDialog(std::uint8_t kind, const QString& caption,
                                                    const QString& title, std::uint16_t buttons) {
    if (isVisible()) {
        // One showing at a time: a call from inside the open one (a timer tick, say) must not
        // lay out over it or delete its buttons while they are in use.
        return MessageEscapeResult;
    }
    setWindowTitle(caption);
    Label_Title->setText(title);
    const QFontMetrics titleMetrics(Label_Title->font());
    Label_Title->resize(titleMetrics.horizontalAdvance(title), titleMetrics.height());
    if (MessageLines.size() > MaxLines) {
        MessageLines.resize(MaxLines);
    }
    const int lineCount = static_cast<int>(MessageLines.size());
    const int height = LinePitch * lineCount + 85;
    int width = LayOutLines(Label_Title->width()) + SideMargins;
    width = LayOutButtons(width, lineCount, buttons);
    setFixedSize(width, height);
    ShowIcon(kind);
    SoundMessageBeep(kind);
    const std::int32_t result = exec();
    ClearShowing();
    MessageLines.clear();
    return result;
}

void TForm_MessageDialog::ClearShowing() {
    for (QLabel*& label : LineLabels) {
        delete label;
        label = nullptr;
    }
    for (QPushButton*& button : DialogButtons) {
        delete button;
        button = nullptr;
    }
    ButtonCount = 0;
}

TForm_MessageDialog* Form_MessageDialog() {
    static QPointer<TForm_MessageDialog> form;
    if (form.isNull()) {
        form = new TForm_MessageDialog(MainWindowForDialog());
    }
    return form.data();
}

void AddMessageLine(const QString& text) {
    Form_MessageDialog()->AddMessageLine(text);
}

std::int32_t ShowMessageDialog(std::uint8_t kind, const QString& caption, const QString& title,
                               std::uint16_t buttons) {
    return Form_MessageDialog()->ShowMessageDialog(kind, caption, title, buttons);
}

} // namespace quorvel
