#include "AuditCard.h"

#include "AuditPalette.h"
#include "AuditShape.h"
#include "AuditStack.h"

#include <QHash>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr qreal kRadius = 24;

struct Shadow {
    qreal opacity;
    qreal radius;
    QPoint offset;
};
constexpr Shadow kShadows[] = {{0.35, 1, QPoint(0, 1)}, {0.30, 14, QPoint(0, 10)}};

// A Gaussian blur of radius r has a standard deviation of about r / 2; three box blurs
// of matching widths come within a few percent of it.
int blurMargin(qreal radius)
{
    return int(std::ceil(radius * 1.5)) + 1;
}

void boxBlurAlpha(std::vector<float> &data, int width, int height, int box)
{
    if (box < 1)
        return;
    std::vector<float> line(std::max(width, height));
    const int half = box / 2;
    auto pass = [&](int count, int length, auto at) {
        for (int c = 0; c < count; ++c) {
            float sum = 0;
            for (int i = -half; i <= half; ++i)
                sum += (i >= 0 && i < length) ? at(c, i) : 0.0f;
            for (int i = 0; i < length; ++i) {
                line[i] = sum / float(2 * half + 1);
                const int out = i - half, in = i + half + 1;
                if (out >= 0)
                    sum -= at(c, out);
                if (in < length)
                    sum += at(c, in);
            }
            for (int i = 0; i < length; ++i)
                at(c, i) = line[i];
        }
    };
    pass(height, width, [&](int row, int i) -> float & { return data[size_t(row) * width + i]; });
    pass(width, height, [&](int column, int i) -> float & { return data[size_t(i) * width + column]; });
}

// A blurred black continuous rounded square, drawn nine-sliced to any card size. It is made
// in device pixels at `scale`; `margin` and `slice` are in logical pixels.
QImage shadowTile(const Shadow &shadow, qreal scale, int *margin, int *slice)
{
    const int blur = blurMargin(shadow.radius);
    const int corner = int(std::ceil(kRadius * 1.53));
    const int side = 2 * corner + 2;
    const int logical = side + 2 * blur;
    const int size = int(std::ceil(logical * scale));
    QImage mask(size, size, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        AuditShape::fill(p, QRectF(blur, blur, side, side), kRadius, Qt::black);
    }
    std::vector<float> alpha(size_t(size) * size);
    for (int y = 0; y < size; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
        for (int x = 0; x < size; ++x)
            alpha[size_t(y) * size + x] = float(qAlpha(row[x]));
    }
    const qreal sigma = shadow.radius / 2.0 * scale;
    const int box = std::max(1, int(std::floor(sigma * 3.0 * std::sqrt(2.0 * M_PI) / 4.0 + 0.5)));
    for (int i = 0; i < 3; ++i)
        boxBlurAlpha(alpha, size, size, box | 1);
    QImage tile(size, size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(tile.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const int a = std::clamp(int(alpha[size_t(y) * size + x] * shadow.opacity + 0.5f), 0, 255);
            row[x] = qRgba(0, 0, 0, a);
        }
    }
    *margin = blur;
    *slice = blur + corner;
    return tile;
}

// Draws `tile` (made at `scale`) over `target` with corners of `slice` logical pixels kept
// as they are and the edges and middle stretched.
void drawNineSlice(QPainter &painter, const QRectF &target, const QImage &tile, int slice, qreal scale)
{
    const qreal tileSize = tile.width() / scale;
    const qreal xs[] = {target.left(), target.left() + slice, target.right() - slice, target.right()};
    const qreal ys[] = {target.top(), target.top() + slice, target.bottom() - slice, target.bottom()};
    const qreal us[] = {0, qreal(slice), tileSize - slice, tileSize};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRectF to(QPointF(xs[column], ys[row]), QPointF(xs[column + 1], ys[row + 1]));
            const QRectF from(QPointF(us[column] * scale, us[row] * scale),
                              QPointF(us[column + 1] * scale, us[row + 1] * scale));
            if (to.width() > 0 && to.height() > 0)
                painter.drawImage(to, tile, from);
        }
    }
}

QMargins shadowExtent()
{
    int left = 0, top = 0, right = 0, bottom = 0;
    for (const Shadow &s : kShadows) {
        const int m = blurMargin(s.radius);
        left = std::max(left, m - s.offset.x());
        right = std::max(right, m + s.offset.x());
        top = std::max(top, m - s.offset.y());
        bottom = std::max(bottom, m + s.offset.y());
    }
    return QMargins(left, top, right, bottom);
}

class CardShadow final : public QWidget {
public:
    explicit CardShadow(QWidget *parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        struct Tiles {
            QImage image[2];
            int margin[2];
            int slice[2];
        };
        // One set of tiles per pixel ratio in use (a window may move to another screen).
        static QHash<int, Tiles> cache;
        const qreal scale = devicePixelRatioF();
        const int key = qRound(scale * 100);
        auto found = cache.find(key);
        if (found == cache.end()) {
            Tiles tiles;
            for (int i = 0; i < 2; ++i)
                tiles.image[i] = shadowTile(kShadows[i], scale, &tiles.margin[i], &tiles.slice[i]);
            found = cache.insert(key, tiles);
        }
        const QRect card = rect().marginsRemoved(shadowExtent());
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        for (int i = 0; i < 2; ++i) {
            const int m = found->margin[i];
            const QRect target = card.translated(kShadows[i].offset).marginsAdded(QMargins(m, m, m, m));
            drawNineSlice(painter, target, found->image[i], found->slice[i], scale);
        }
    }
};
} // namespace

AuditCard::AuditCard(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(32, 28, 32, 28);
    m_layout->setSpacing(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    syncShadow();
}

AuditCard::~AuditCard()
{
    delete m_shadow.data();
}

void AuditCard::addWidget(QWidget *widget)
{
    AuditStack::addLeading(m_layout, widget);
}

void AuditCard::paintEvent(QPaintEvent *)
{
    const AuditPalette palette = AuditPalette::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = rect();
    AuditShape::fill(painter, shape, kRadius, palette.card);
    AuditShape::strokeInside(painter, shape, kRadius, 1, palette.border);
}

namespace {
// The shadow lives in an ancestor, so it follows the card (or the ancestor it
// watches) whenever either changes place, size or visibility.
bool movesShadow(QEvent::Type type)
{
    switch (type) {
    case QEvent::ParentChange:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        return true;
    default:
        return false;
    }
}
} // namespace

bool AuditCard::event(QEvent *event)
{
    const bool result = QWidget::event(event);
    if (movesShadow(event->type()))
        syncShadow();
    return result;
}

bool AuditCard::eventFilter(QObject *watched, QEvent *event)
{
    if (movesShadow(event->type()))
        syncShadow();
    return QWidget::eventFilter(watched, event);
}

void AuditCard::watchAncestors(QWidget *host)
{
    for (const QPointer<QWidget> &w : std::as_const(m_watched)) {
        if (w)
            w->removeEventFilter(this);
    }
    m_watched.clear();
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        w->installEventFilter(this);
        m_watched.append(w);
        if (w == host)
            break;
    }
}

void AuditCard::syncShadow()
{
    if (m_syncing)
        return;
    m_syncing = true;
    const QMargins extent = shadowExtent();
    // The host: the nearest ancestor whose area holds the whole shadow, or that paints its own
    // background (nothing under it would show), or the window.
    QWidget *host = parentWidget();
    QWidget *branch = this;
    while (host) {
        const QRect inHost = QRect(mapTo(host, QPoint(0, 0)), size()).marginsAdded(extent);
        if (host->isWindow() || host->autoFillBackground() || host->testAttribute(Qt::WA_OpaquePaintEvent)
            || host->rect().contains(inHost))
            break;
        branch = host;
        host = host->parentWidget();
    }
    if (!host) {
        delete m_shadow.data();
        watchAncestors(nullptr);
        m_syncing = false;
        return;
    }
    if (!m_shadow && !isVisible()) {
        // Made when the card is first shown, never while a hidden (or dying) tree is torn down.
        m_syncing = false;
        return;
    }
    const bool moved = !m_shadow || m_shadow->parentWidget() != host;
    if (!m_shadow)
        m_shadow = new CardShadow(host);
    else if (m_shadow->parentWidget() != host)
        m_shadow->setParent(host);
    if (moved || m_watched.isEmpty() || m_watched.constLast() != host)
        watchAncestors(host);
    m_shadow->setGeometry(QRect(mapTo(host, QPoint(0, 0)), size()).marginsAdded(extent));
    m_shadow->stackUnder(branch);
    m_shadow->setVisible(isVisibleTo(host));
    m_syncing = false;
}
