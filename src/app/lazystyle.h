#pragma once
// The desktop's widget style, with its standard icons made only when first
// drawn. Qt's menu bar asks for one as it is built, and making it starts every
// picture reader Qt has: that would delay the window's first appearance.
#include <QProxyStyle>

namespace vintrel {

class LazyIconStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

} // namespace vintrel
