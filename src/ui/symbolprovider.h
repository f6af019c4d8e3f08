#pragma once

#include <QQuickImageProvider>

// Draws our monochrome symbols tinted at run time: image://symbol/NAME/COLOR
// renders symbols/NAME.svg of the module's resources in COLOR (hex digits
// without the '#': RRGGBB or AARRGGBB) at the requested size. Tinting here keeps the
// views on the software scene graph, which has no shader effects.
class SymbolProvider : public QQuickImageProvider {
public:
    SymbolProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // The resource path of a symbol; empty when there is no such symbol.
    static QString pathOf(const QString &name);
    static QImage render(const QString &name, const QColor &color, QSize size);
};
