#include "About.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(AboutBox, ShowsNameVersionAndPurposeInItsPanel) {
    TForm_AboutBox box(nullptr);
    EXPECT_EQ(box.objectName(), "Form_AboutBox");
    EXPECT_EQ(box.windowTitle(), QString::fromUtf8("Névjegy"));
    EXPECT_EQ(box.size(), QSize(375, 170));
    auto* panel = box.findChild<QWidget*>("Panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(5, 5, 366, 121));
    const struct {
        const char* Name;
        QPoint Pos;
        const char* Text;
    } labels[] = {
        {"ProductName", {55, 11}, "Quorvel Kelmar"},
        {"Version", {55, 28}, "Verzió: V2.2 (09.01.21)"},
        {"Label1",
         {10, 85},
         "Bemutató szoftver a Dravik Kft. által gyártott Kelmar típusú, 8.39-es vagy"},
        {"Label2",
         {10, 100},
         "újabb szoftver verzióval rendelkező frekvenciaváltók távirányításához."},
    };
    for (const auto& expected : labels) {
        auto* label = panel->findChild<QLabel*>(expected.Name);
        ASSERT_NE(label, nullptr) << expected.Name;
        EXPECT_EQ(label->text(), QString::fromUtf8(expected.Text));
        EXPECT_EQ(label->pos(), expected.Pos) << expected.Name;
        const int textRight = label->x() + label->fontMetrics().horizontalAdvance(label->text());
        EXPECT_LE(textRight, panel->width() - 2) << expected.Name << " is cut by the panel";
    }
    EXPECT_TRUE(panel->findChild<QLabel*>("ProductName")->font().bold());
    auto* icon = panel->findChild<QLabel*>("ProgramIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->geometry(), QRect(9, 8, 37, 38));
    EXPECT_FALSE(icon->pixmap().isNull()) << "program icon resource missing";
    EXPECT_EQ(panel->findChild<QWidget*>("Bevel1")->geometry(), QRect(10, 77, 346, 2));
}

TEST(AboutBox, OkIsTheDefaultButtonAndClosesTheBox) {
    TForm_AboutBox box(nullptr);
    auto* ok = box.findChild<QPushButton*>("OKButton");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->geometry(), QRect(150, 135, 75, 27));
    EXPECT_TRUE(ok->isDefault());
    QTimer::singleShot(0, ok, &QPushButton::click);
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
}

} // namespace
} // namespace quorvel
