#include "Messagedialog.h"
#include "GuiFont.h"

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace quorvel {
namespace {

// What the dialog looked like while it was showing.
struct Showing {
    QSize Client;
    QString Caption;
    QString Title;
    std::vector<QPushButton*> Buttons; // left to right; valid only while showing
    QStringList Captions;
    std::vector<QRect> ButtonRects;
    QStringList LineTexts; // top to bottom
    std::vector<QRect> LineRects;
    QImage Icon;
};

Showing Capture(TForm_MessageDialog& dialog) {
    Showing showing;
    showing.Client = dialog.size();
    showing.Caption = dialog.windowTitle();
    showing.Title = dialog.findChild<QLabel*>("Label_Title")->text();
    for (auto* button : dialog.findChildren<QPushButton*>()) {
        showing.Buttons.push_back(button);
    }
    std::sort(showing.Buttons.begin(), showing.Buttons.end(),
              [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
    std::vector<QLabel*> lines;
    for (auto* label : dialog.findChildren<QLabel*>()) {
        if (label->objectName().startsWith("LineLabel")) {
            lines.push_back(label);
        }
    }
    std::sort(lines.begin(), lines.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    for (auto* label : lines) {
        showing.LineTexts << label->text();
        showing.LineRects.push_back(label->geometry());
    }
    for (auto* button : showing.Buttons) {
        showing.Captions << button->text();
        showing.ButtonRects.push_back(button->geometry());
    }
    const QPixmap icon = dialog.findChild<QLabel*>("MsgIcon")->pixmap();
    showing.Icon = icon.toImage();
    return showing;
}

class MessageDialog : public testing::Test {
  protected:
    // Shows the dialog, runs `during` inside the modal loop with what it shows, returns the
    // result. A guard ends a showing that the test failed to close, so nothing hangs.
    std::int32_t Show(std::uint8_t kind, const QString& title, std::uint16_t buttons,
                      const std::function<void(const Showing&)>& during) {
        QTimer::singleShot(0, &Dialog, [&] { during(Capture(Dialog)); });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &Dialog, [&] { Dialog.done(-1); });
        guard.start(60000);
        return Dialog.ShowMessageDialog(kind, QStringLiteral("Hiba!"), title, buttons);
    }

    static int BoldWidth(const QString& text) {
        QFont bold = ConsoleFont();
        bold.setBold(true);
        return QFontMetrics(bold).horizontalAdvance(text);
    }

    TForm_MessageDialog Dialog;
};

TEST_F(MessageDialog, NarrowTitleAndOkGiveTheSmallestDialog) {
    ASSERT_LT(BoldWidth("Hi"), 35);
    Showing seen;
    const auto result = Show(mkError, "Hi", mbOK, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(0)->click();
    });
    EXPECT_EQ(result, mbOK);
    EXPECT_EQ(seen.Client, QSize(110, 85));
    ASSERT_EQ(seen.ButtonRects.size(), 1U);
    EXPECT_EQ(seen.ButtonRects[0], QRect(10, 50, 90, 25));
    EXPECT_EQ(seen.Captions[0], "OK");
    EXPECT_EQ(seen.Caption, "Hiba!");
    EXPECT_EQ(seen.Title, "Hi");
}

TEST_F(MessageDialog, TitleOfAHundredPixelsWidensTheDialog) {
    QString title;
    const QString glyphs = QStringLiteral("mnoei.l");
    for (int a = 0; a < glyphs.size() && title.isEmpty(); ++a) {
        for (int b = 0; b < glyphs.size() && title.isEmpty(); ++b) {
            for (int count = 1; count < 40 && title.isEmpty(); ++count) {
                for (int rest = 0; rest < 12 && title.isEmpty(); ++rest) {
                    const QString candidate = QString(count, glyphs[a]) + QString(rest, glyphs[b]);
                    if (BoldWidth(candidate) == 100) {
                        title = candidate;
                    }
                }
            }
        }
    }
    if (title.isEmpty()) {
        GTEST_SKIP() << "no test title of exactly 100 pixels in this font";
    }
    Showing seen;
    Show(mkInformation, title, mbOK, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(0)->click();
    });
    EXPECT_EQ(seen.Client, QSize(175, 85));
    EXPECT_EQ(seen.ButtonRects.at(0).topLeft(), QPoint(42, 50));
}

TEST_F(MessageDialog, TwoLinesAndYesNoStackTextAboveCentredButtons) {
    Dialog.AddMessageLine("Első sor");
    Dialog.AddMessageLine("Második sor");
    Showing seen;
    const auto result = Show(mkQuestion, "", mbYes | mbNo, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(1)->click();
    });
    EXPECT_EQ(result, mbNo);
    EXPECT_EQ(seen.Client.height(), 115);
    ASSERT_EQ(seen.LineTexts.size(), 2U);
    EXPECT_EQ(seen.LineRects[0].topLeft(), QPoint(65, 35));
    EXPECT_EQ(seen.LineRects[1].topLeft(), QPoint(65, 50));
    EXPECT_EQ(seen.LineTexts[1], QString::fromUtf8("Második sor"));
    EXPECT_EQ(seen.Captions, QStringList({"Igen", "Nem"}));
    EXPECT_EQ(seen.ButtonRects[0].y(), 80);
    EXPECT_EQ(seen.ButtonRects[1].x() - seen.ButtonRects[0].x(), 95);
    // Both lines are narrower than two buttons need, so the buttons set the width.
    const int textWidth = QFontMetrics(ConsoleFont()).horizontalAdvance(seen.LineTexts[1]) + 75;
    ASSERT_LT(textWidth, 2 * 95 + 15);
    EXPECT_EQ(seen.Client.width(), 2 * 95 + 15);
    EXPECT_EQ(seen.ButtonRects[0].x(), 10) << "centred";
}

TEST_F(MessageDialog, WidestLineSetsTheWidth) {
    const QString line = QString::fromUtf8("A fájl nem írható! (Lehet, hogy írásvédett)");
    Dialog.AddMessageLine(line);
    Showing seen;
    Show(mkError, "q.ini", mbOK, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(0)->click();
    });
    const int lineWidth = QFontMetrics(ConsoleFont()).horizontalAdvance(line);
    ASSERT_GT(lineWidth + 75, 110);
    EXPECT_EQ(seen.Client, QSize(lineWidth + 75, 100));
    EXPECT_EQ(seen.LineRects.at(0).width(), lineWidth) << "label sized to its text";
    EXPECT_EQ(seen.ButtonRects.at(0).topLeft(), QPoint((lineWidth + 75 - 95 + 5) / 2, 65));
}

TEST_F(MessageDialog, ButtonsFollowTableOrderWhateverTheBitOrder) {
    Showing seen;
    const auto result = Show(mkWarning, "", mbCancel | mbOK, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(1)->click();
    });
    EXPECT_EQ(seen.Captions, QStringList({"OK", QString::fromUtf8("Mégse")}));
    EXPECT_EQ(result, mbCancel);
}

TEST_F(MessageDialog, AllTenButtonsInTableOrder) {
    Showing seen;
    const auto result = Show(mkWarning, "", 0x3FF0, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(7)->click();
    });
    EXPECT_EQ(seen.Captions,
              QStringList({"OK", "Igen", "Igen, mindet", "Nem", "Nem, egyet sem", "Mind kihagyja",
                           QString::fromUtf8("Megszakít"), QString::fromUtf8("Újrapróbál"),
                           "Kihagy", QString::fromUtf8("Mégse")}));
    EXPECT_EQ(result, mbRetry);
    EXPECT_EQ(seen.Client.width(), 10 * 95 + 15);
    EXPECT_EQ(seen.ButtonRects.front().x(), 10);
    EXPECT_EQ(seen.ButtonRects.back().right() + 1, 10 * 95 + 15 - 10);
}

TEST_F(MessageDialog, BitsOutsideTheTableMakeNoButtons) {
    Showing seen;
    Show(mkInformation, "", 0xFFFF, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(0)->click();
    });
    EXPECT_EQ(seen.ButtonRects.size(), 10U);
    Show(mkInformation, "", 0x0001 | mbOK, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(0)->click();
    });
    EXPECT_EQ(seen.Captions, QStringList({"OK"}));
}

TEST_F(MessageDialog, EscapeOnAnyButtonReturnsTwo) {
    for (int pressed = 0; pressed < 3; ++pressed) {
        const auto result = Show(mkQuestion, "", mbYes | mbNo | mbCancel, [&](const Showing& s) {
            QTest::keyClick(s.Buttons.at(static_cast<std::size_t>(pressed)), Qt::Key_Escape);
        });
        EXPECT_EQ(result, MessageEscapeResult) << "focus on button " << pressed;
    }
}

TEST_F(MessageDialog, WithoutButtonsOnlyEscapeLeaves) {
    Showing seen;
    const auto result = Show(mkInformation, "", 0, [&](const Showing& s) {
        seen = s;
        QTest::keyClick(&Dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(result, MessageEscapeResult);
    EXPECT_TRUE(seen.ButtonRects.empty());
    EXPECT_GE(seen.Client.width(), 15);
    EXPECT_EQ(seen.Client.height(), 85);
}

TEST_F(MessageDialog, KindSelectsTheStandardIconAndUnknownKindsShowNone) {
    const std::vector<std::pair<std::uint8_t, QStyle::StandardPixmap>> kinds{
        {mkInformation, QStyle::SP_MessageBoxInformation},
        {mkQuestion, QStyle::SP_MessageBoxQuestion},
        {mkWarning, QStyle::SP_MessageBoxWarning},
        {mkError, QStyle::SP_MessageBoxCritical}};
    for (const auto& [kind, standard] : kinds) {
        Showing seen;
        Show(kind, "", mbOK, [&](const Showing& s) {
            seen = s;
            s.Buttons.at(0)->click();
        });
        const QImage expected =
            Dialog.style()->standardIcon(standard, nullptr, &Dialog).pixmap(32).toImage();
        EXPECT_FALSE(seen.Icon.isNull()) << int(kind);
        EXPECT_EQ(seen.Icon, expected) << int(kind);
    }
    for (const std::uint8_t kind : {std::uint8_t{4}, std::uint8_t{255}}) {
        Showing seen;
        Show(kind, "", mbOK, [&](const Showing& s) {
            seen = s;
            s.Buttons.at(0)->click();
        });
        EXPECT_TRUE(seen.Icon.isNull()) << int(kind);
    }
}

TEST_F(MessageDialog, OnlyTheFirstTwelveLinesAreShown) {
    for (int i = 0; i < 14; ++i) {
        Dialog.AddMessageLine(QStringLiteral("line %1").arg(i));
    }
    Showing seen;
    Show(mkInformation, "", mbOK, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(0)->click();
    });
    ASSERT_EQ(seen.LineTexts.size(), 12U);
    EXPECT_EQ(seen.LineTexts.back(), "line 11");
    EXPECT_EQ(seen.Client.height(), 15 * 12 + 85);
    EXPECT_EQ(seen.ButtonRects.at(0).y(), 15 * 12 + 50);
}

TEST_F(MessageDialog, ClosingRemovesTheShowingsLinesLabelsAndButtons) {
    Dialog.AddMessageLine("first showing");
    Dialog.AddMessageLine("also first");
    Show(mkInformation, "", mbYes | mbNo, [](const Showing& s) { s.Buttons.at(0)->click(); });
    EXPECT_TRUE(Dialog.PendingLines().isEmpty());
    EXPECT_TRUE(Dialog.findChildren<QPushButton*>().isEmpty());
    Dialog.AddMessageLine("second showing");
    Showing seen;
    Show(mkInformation, "", mbOK, [&](const Showing& s) {
        seen = s;
        s.Buttons.at(0)->click();
    });
    ASSERT_EQ(seen.LineTexts.size(), 1U);
    EXPECT_EQ(seen.LineTexts[0], "second showing");
    EXPECT_EQ(seen.Captions, QStringList({"OK"}));
    EXPECT_EQ(seen.Client.height(), 100);
}

TEST_F(MessageDialog, ACallFromInsideAShowingLeavesTheOpenOneAlone) {
    std::int32_t nested = 0;
    Showing seen;
    const auto result = Show(mkInformation, "outer", mbOK, [&](const Showing& s) {
        nested = Dialog.ShowMessageDialog(mkError, "Hiba!", "inner", mbYes | mbNo);
        seen = Capture(Dialog);
        s.Buttons.at(0)->click();
    });
    EXPECT_EQ(nested, MessageEscapeResult);
    EXPECT_EQ(seen.Title, "outer");
    EXPECT_EQ(seen.Captions, QStringList({"OK"}));
    EXPECT_EQ(result, mbOK);
}

TEST_F(MessageDialog, TitleIsBoldAtItsDesignPlace) {
    auto* title = Dialog.findChild<QLabel*>("Label_Title");
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->pos(), QPoint(65, 10));
    EXPECT_EQ(Dialog.findChild<QLabel*>("MsgIcon")->geometry(), QRect(10, 10, 32, 32));
    EXPECT_TRUE(Dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(Dialog.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(MessageDialogForm, SharedDialogSitsOverTheMainWindowAndUsesAddedLines) {
    QMainWindow mainWindow;
    mainWindow.show();
    AddMessageLine(QString::fromUtf8("A fájl nem írható! (Lehet, hogy írásvédett)"));
    ASSERT_EQ(Form_MessageDialog()->parentWidget(), &mainWindow);
    QString shownLine;
    QTimer::singleShot(0, [&] {
        auto* form = Form_MessageDialog();
        shownLine = form->findChild<QLabel*>("LineLabel0")->text();
        form->findChildren<QPushButton*>().at(0)->click();
    });
    EXPECT_EQ(ShowMessageDialog(mkError, "Hiba!", "quorvel.ini", mbOK), mbOK);
    EXPECT_EQ(shownLine, QString::fromUtf8("A fájl nem írható! (Lehet, hogy írásvédett)"));
}

} // namespace
} // namespace quorvel
