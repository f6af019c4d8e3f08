#include "symbolprovider.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

SymbolProvider::SymbolProvider() : QQuickImageProvider(QQuickImageProvider::Image) { }

QString SymbolProvider::pathOf(const QString &name)
{
    // Names are symbol names such as "chevron.down"; nothing that could
    // leave the folder.
    if (name.isEmpty() || name.contains(u'/') || name.startsWith(u'.'))
        return QString();
    const QString path = u":/qt/qml/Quillmere/Ui/symbols/%1.svg"_s.arg(name);
    return QFile::exists(path) ? path : QString();
}

QImage SymbolProvider::render(const QString &name, const QColor &color, QSize size)
{
    if (!size.isValid() || size.isEmpty())
        size = QSize(32, 32);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QString path = pathOf(name);
    if (path.isEmpty())
        return image;
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Fit the drawing into the box, keeping its shape, centred.
    QSizeF drawn = renderer.defaultSize().isEmpty() ? QSizeF(size) : QSizeF(renderer.defaultSize());
    drawn.scale(QSizeF(size), Qt::KeepAspectRatio);
    const QRectF box(
        (size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2, drawn.width(), drawn.height());
    renderer.render(&painter, box);
    // Keep the shape, take the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

QImage SymbolProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const qsizetype slash = id.indexOf(u'/');
    const QString name = slash < 0 ? id : id.left(slash);
    const QColor color = slash < 0 ? QColor(Qt::white) : QColor(u'#' + id.mid(slash + 1));
    const QImage image = render(name, color.isValid() ? color : QColor(Qt::white), requestedSize);
    if (size)
        *size = image.size();
    return image;
}
