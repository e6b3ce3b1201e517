#include "NarrowCombo.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionComboBox>

namespace quorvel {

namespace {

constexpr int ArrowWidth = 12; // the arrow glyph and the frame on its right
constexpr int FieldLeft = 2;   // inside the left frame line

class TNarrowComboStyle : public QProxyStyle {
  public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override {
        if (control == CC_ComboBox && option != nullptr) {
            const QRect r = option->rect;
            if (sub == SC_ComboBoxArrow) {
                return QRect(r.right() - ArrowWidth + 1, r.top(), ArrowWidth, r.height());
            }
            if (sub == SC_ComboBoxEditField) {
                return QRect(r.left() + FieldLeft, r.top() + 2, r.width() - ArrowWidth - FieldLeft,
                             r.height() - 4);
            }
        }
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }
};

} // namespace

QStyle* NarrowComboStyle() {
    static QPointer<QStyle> style;
    if (style == nullptr) {
        style = new TNarrowComboStyle();
        style->setParent(qApp);
    }
    return style;
}

} // namespace quorvel
