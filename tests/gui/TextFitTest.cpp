// Texts that must show whole in small controls, checked on the rendered control: the scale
// list's ten entries in Combo_Max (58 px) and the bold "X" of the virtual input boxes (14 px).
// The grabs are saved into the build tree for a look.
#include "WindowHarness.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace quorvel::test {
namespace {

// Columns and rows of dark (text) pixels inside area; empty when there are none.
QRect Ink(const QImage& image, const QRect& area) {
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 110) {
                ink = ink.united(QRect(x, y, 1, 1));
            }
        }
    }
    return ink;
}

// Text drawn whole with font on a white page: what the control must show of it.
QImage WholePage(const QString& text, const QFont& font) {
    QImage page(200, 60, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(20, 40), text);
    return page;
}

QRect WholeInk(const QString& text, const QFont& font) {
    const QImage page = WholePage(text, font);
    return Ink(page, page.rect());
}

// The dark pixels of area, row by row, as a text of '#' and '.'.
std::string Mask(const QImage& image, const QRect& area) {
    std::string mask;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            mask += qGray(image.pixel(x, y)) < 110 ? '#' : '.';
        }
        mask += '\n';
    }
    return mask;
}

void Keep(const QImage& image, const QString& file) {
    image.save(QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(file));
}

TEST(TextFit, EveryChartScaleShowsWholeInItsList) {
    WindowHarness harness;
    auto* combo = harness.Find<QComboBox>("Combo_Max");
    ASSERT_EQ(combo->count(), 10);
    ASSERT_EQ(combo->size(), QSize(58, 21));
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = false;
    option.frame = true;
    const QRect arrow = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxArrow, combo);
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    for (int i = 0; i < combo->count(); ++i) {
        combo->setCurrentIndex(i);
        const QString text = combo->itemText(i);
        const QImage image = combo->grab().toImage();
        Keep(image, QStringLiteral("combo-max-%1.png").arg(i));
        const int advance = combo->fontMetrics().horizontalAdvance(text);
        EXPECT_LE(advance, field.width() - 2) << text.toStdString() << " is wider than its room";
        // Left of the arrow only the label draws dark pixels: a cut label has narrower ink.
        const QRect ink = Ink(image, QRect(0, 0, arrow.left(), combo->height()));
        const QRect whole = WholeInk(text, combo->font());
        EXPECT_GE(ink.width(), whole.width() - 1) << text.toStdString() << " is cut";
        EXPECT_LT(ink.right(), arrow.left()) << text.toStdString() << " runs under the arrow";
    }
}

TEST(TextFit, BoldXFitsTheVirtualInputBox) {
    WindowHarness harness;
    for (int k = 1; k <= 6; ++k) {
        const QByteArray name = "Edit_VirtualInput" + QByteArray::number(k);
        auto* box = harness.Find<QLineEdit>(name.constData());
        ASSERT_EQ(box->size(), QSize(14, 21));
        ASSERT_TRUE(box->font().bold());
        const QImage blank = box->grab().toImage();
        box->setText(QStringLiteral("X"));
        const QImage image = box->grab().toImage();
        if (k == 1) {
            Keep(image, QStringLiteral("virtual-input-x.png"));
        }
        const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box);
        const QRect inside = box->rect().adjusted(frame, frame, -frame, -frame);
        const QRect ink = Ink(image, inside);
        const QRect blankInk = Ink(blank, inside);
        ASSERT_TRUE(blankInk.isEmpty()) << "the empty box draws no text";
        const QImage reference = WholePage(QStringLiteral("X"), box->font());
        const QRect whole = Ink(reference, reference.rect());
        // On the box's white ground the glyph must come out pixel for pixel as drawn whole.
        ASSERT_EQ(ink.size(), whole.size()) << name.toStdString() << ": the X is cut";
        EXPECT_EQ(Mask(image, ink), Mask(reference, whole)) << name.toStdString();
        const QRect outerInk = Ink(image, box->rect());
        EXPECT_EQ(outerInk, ink) << "the X reaches into the frame";
        // The room the box gives its text: a row of full blocks, cut at the room's edges.
        box->setText(QString(8, QChar(0x2588)));
        const QRect room = Ink(box->grab().toImage(), inside);
        box->setText(QString());
        EXPECT_GE(room.width(), box->fontMetrics().horizontalAdvance(QStringLiteral("X")))
            << name.toStdString() << ": the X has less room than its width";
    }
}

} // namespace
} // namespace quorvel::test
