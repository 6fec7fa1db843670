#include "AuditCard.h"

#include "AuditPalette.h"
#include "AuditShape.h"
#include "AuditStack.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {
constexpr qreal kRadius = 24;

struct Shadow {
    qreal opacity;
    qreal radius; // the blur radius: the standard deviation of the Gaussian, in points
    QPoint offset;
};
constexpr Shadow kShadows[] = {{0.35, 1, QPoint(0, 1)}, {0.30, 14, QPoint(0, 10)}};
constexpr int kShadowCount = int(std::size(kShadows));

// Beyond three standard deviations a Gaussian adds less than one part in 700: nothing a
// pixel of eight bits can show.
int blurMargin(qreal radius)
{
    return int(std::ceil(radius * 3.0)) + 1;
}

// A wide blur is made on a smaller image, where its deviation is this many pixels, and
// drawn scaled up: a blur that soft has no detail that the smaller image would lose.
constexpr qreal kWorkingSigma = 3.0;

// Blurs one line of `count` values `stride` apart with `kernel` (odd length, centred).
void convolveLine(float *data, int count, int stride, const std::vector<float> &kernel, std::vector<float> &line)
{
    const int half = int(kernel.size() / 2);
    for (int i = 0; i < count; ++i)
        line[size_t(i)] = data[size_t(i) * size_t(stride)];
    for (int i = 0; i < count; ++i) {
        float sum = 0;
        const int from = std::max(0, i - half), to = std::min(count - 1, i + half);
        for (int j = from; j <= to; ++j)
            sum += line[size_t(j)] * kernel[size_t(j - i + half)];
        data[size_t(i) * size_t(stride)] = sum;
    }
}

std::vector<float> gaussianKernel(qreal sigma)
{
    const int half = std::max(1, int(std::ceil(sigma * 3.0)));
    std::vector<float> kernel(size_t(2 * half + 1));
    float total = 0;
    for (int i = -half; i <= half; ++i) {
        const float w = float(std::exp(-(i * i) / (2.0 * sigma * sigma)));
        kernel[size_t(i + half)] = w;
        total += w;
    }
    for (float &w : kernel)
        w /= total;
    return kernel;
}

// One shadow of a card of `card` points at `ratio` device pixels per point: the blurred black
// card shape, and where to draw it relative to the card's top-left corner (in points).
struct ShadowImage {
    QImage image;
    QRectF place;
};

ShadowImage renderShadow(const Shadow &shadow, QSize card, qreal ratio)
{
    const int margin = blurMargin(shadow.radius);
    // Pixels per point of the image the blur is made on.
    const qreal scale = std::min(ratio, kWorkingSigma / shadow.radius);
    const qreal sigma = shadow.radius * scale;
    const QSizeF points(card.width() + 2.0 * margin, card.height() + 2.0 * margin);
    const int width = std::max(1, int(std::ceil(points.width() * scale)));
    const int height = std::max(1, int(std::ceil(points.height() * scale)));

    QImage mask(width, height, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        AuditShape::fill(p, QRectF(margin, margin, card.width(), card.height()), kRadius, Qt::black);
    }
    std::vector<float> alpha(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * size_t(width) + size_t(x)] = float(qAlpha(row[x])) / 255.0f;
    }
    // A Gaussian is separable: rows, then columns.
    const std::vector<float> kernel = gaussianKernel(sigma);
    std::vector<float> line(size_t(std::max(width, height)));
    for (int y = 0; y < height; ++y)
        convolveLine(alpha.data() + size_t(y) * size_t(width), width, 1, kernel, line);
    for (int x = 0; x < width; ++x)
        convolveLine(alpha.data() + x, height, width, kernel, line);

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const float a = alpha[size_t(y) * size_t(width) + size_t(x)] * float(shadow.opacity);
            row[x] = qRgba(0, 0, 0, std::clamp(int(a * 255.0f + 0.5f), 0, 255));
        }
    }
    const QPointF origin(shadow.offset.x() - margin, shadow.offset.y() - margin);
    return {image, QRectF(origin, QSizeF(width / scale, height / scale))};
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

// The shadows of one card, made for its size at a pixel ratio and kept until either changes.
class ShadowImages final {
public:
    const std::array<ShadowImage, kShadowCount> &at(QSize card, qreal ratio)
    {
        if (card != m_card || !qFuzzyCompare(ratio, m_ratio)) {
            for (int i = 0; i < kShadowCount; ++i)
                m_images[size_t(i)] = renderShadow(kShadows[i], card, ratio);
            m_card = card;
            m_ratio = ratio;
        }
        return m_images;
    }

private:
    QSize m_card;
    qreal m_ratio = 0;
    std::array<ShadowImage, kShadowCount> m_images;
};

// One piece of a card's shadow, in one ancestor of the card, stacked just under the branch
// that holds the card. Its rectangle is the card's plus the shadow's extent; the ancestor
// clips it to its own area.
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
        const QMargins extent = shadowExtent();
        const QSize card = rect().marginsRemoved(extent).size();
        if (card.isEmpty())
            return;
        const auto &images = m_images.at(card, devicePixelRatioF());
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPointF corner(extent.left(), extent.top());
        for (const ShadowImage &shadow : images)
            painter.drawImage(shadow.place.translated(corner), shadow.image);
    }

private:
    ShadowImages m_images;
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
    for (const QPointer<QWidget> &piece : std::as_const(m_shadows))
        delete piece.data();
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

void AuditCard::watchAncestors(QWidget *outermost)
{
    for (const QPointer<QWidget> &w : std::as_const(m_watched)) {
        if (w)
            w->removeEventFilter(this);
    }
    m_watched.clear();
    if (!outermost)
        return;
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        w->installEventFilter(this);
        m_watched.append(w);
        if (w == outermost)
            break;
    }
}

namespace {
// Scrolled content ends at the scroll area's viewport: nothing of it, its shadows included,
// may show outside.
bool isScrollViewport(const QWidget *widget)
{
    const auto *area = qobject_cast<const QAbstractScrollArea *>(widget->parentWidget());
    return area && area->viewport() == widget;
}

bool paintsItsBackground(const QWidget *widget)
{
    return widget->autoFillBackground() || widget->testAttribute(Qt::WA_OpaquePaintEvent);
}
} // namespace

void AuditCard::syncShadow()
{
    if (m_syncing)
        return;
    m_syncing = true;
    const QMargins extent = shadowExtent();
    // Where the shadow's pieces go. Walking out from the card: an ancestor that paints its
    // own background would hide a shadow below it, so it gets a piece of its own (clipped to
    // its area); the walk goes on while the shadow still reaches past it, and ends at the
    // first ancestor that holds the whole shadow, at a scroll area's viewport, or at the
    // window. See-through ancestors in between need no piece: the one further out shows
    // through them. Each piece is stacked under the branch that leads to the card.
    struct Place {
        QWidget *host;
        QWidget *branch;
    };
    QList<Place> places;
    QWidget *branch = this;
    for (QWidget *host = parentWidget(); host; branch = host, host = host->parentWidget()) {
        const QRect inHost = QRect(mapTo(host, QPoint(0, 0)), size()).marginsAdded(extent);
        const bool holdsIt = host->rect().contains(inHost);
        const bool last = holdsIt || host->isWindow() || isScrollViewport(host);
        if (last || paintsItsBackground(host))
            places.append(Place{host, branch});
        if (last)
            break;
    }
    if (places.isEmpty() || (m_shadows.isEmpty() && !isVisible())) {
        // Made when the card is first shown, never while a hidden (or dying) tree is torn down.
        if (places.isEmpty()) {
            for (const QPointer<QWidget> &piece : std::as_const(m_shadows))
                delete piece.data();
            m_shadows.clear();
            watchAncestors(nullptr);
        }
        m_syncing = false;
        return;
    }

    while (m_shadows.size() > places.size())
        delete m_shadows.takeLast().data();
    // Every ancestor up to the outermost piece moves the shadow when it moves or resizes.
    QWidget *outermost = places.constLast().host;
    bool watching = !m_watched.isEmpty() && m_watched.constLast() == outermost;
    qsizetype at = 0;
    for (QWidget *w = parentWidget(); watching && w; w = w->parentWidget(), ++at) {
        watching = at < m_watched.size() && m_watched.at(at) == w;
        if (w == outermost)
            break;
    }
    if (!watching)
        watchAncestors(outermost);
    for (qsizetype i = 0; i < places.size(); ++i) {
        const Place &place = places.at(i);
        if (i == m_shadows.size())
            m_shadows.append(QPointer<QWidget>());
        QPointer<QWidget> &piece = m_shadows[i];
        if (!piece)
            piece = new CardShadow(place.host);
        else if (piece->parentWidget() != place.host)
            piece->setParent(place.host);
        piece->setGeometry(QRect(mapTo(place.host, QPoint(0, 0)), size()).marginsAdded(extent));
        piece->stackUnder(place.branch);
        piece->setVisible(isVisibleTo(place.host));
    }
    m_syncing = false;
}
