#include "CompactStyle.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>

namespace quorvel {

namespace {

constexpr int LabelSpacing = 3;

class TCompactIndicatorStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing) {
            return LabelSpacing;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

QStyle* CompactIndicatorStyle() {
    static QPointer<QStyle> style;
    if (style == nullptr) {
        style = new TCompactIndicatorStyle();
        style->setParent(qApp);
    }
    return style;
}

} // namespace quorvel
