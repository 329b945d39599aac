#include "display/scenewidget.h"

#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "model/errors.h"

namespace slv {

SceneOptions SceneOptions::derive(SceneOptions declared) {
    SceneOptions e = declared;
    if (!e.has(doFullScreen))
        e.exclude(doNoWindowChange).exclude(doAllowReboot).exclude(doAllowPalette256).exclude(doFlip);
    if (!e.has(do3D))
        e.exclude(doDirectX7Mode)
            .exclude(doRetainedMode)
            .exclude(doHardware)
            .exclude(doSelectDriver)
            .exclude(doZBuffer);
    if (e.has(doSystemMemory)) e.exclude(doFlip);
    if (e.has(doDirectX7Mode)) e.exclude(doRetainedMode);
    e.exclude(doHardware);
    return e;
}

SceneWidget::SceneWidget(QWidget* parent) : QWidget(parent), showLater_(new QTimer(this)) {
    showLater_->setSingleShot(true);
    showLater_->setTimerType(Qt::PreciseTimer);
    connect(showLater_, &QTimer::timeout, this, [this] {
        if (isViewReady() && isVisible()) {
            backBuffer_->releaseCanvas();
            showNow();
        }
    });
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    // Space held over the window turns a left drag into a pan, whichever
    // control has the keyboard.
    qApp->installEventFilter(this);
    resize(640, 430);
    setOptions({doAllowReboot, doCenter, doHardware, doSelectDriver});
}

SceneWidget::~SceneWidget() { finalizeView(); }

void SceneWidget::setOptions(SceneOptions options) {
    options_ = options;
    nowOptions_ = SceneOptions::derive(options);
}

void SceneWidget::setSurfaceSize(int width, int height) {
    surfaceWidth_ = width;
    surfaceHeight_ = height;
}

void SceneWidget::setScaleToFit(bool on) {
    scaleToFit_ = on;
    update();
}

void SceneWidget::setCursorHidden(bool hidden) {
    if (hidden)
        setCursor(Qt::BlankCursor);
    else
        unsetCursor();
}

namespace {

std::string modeError(const DisplayMode& d) {
    return "Display mode cannot be changed (" + std::to_string(d.width) + "x" +
           std::to_string(d.height) + " " + std::to_string(d.bitsPerPixel) + "bit)";
}

// The full-screen modes are drawn into the window at 16 or 32 bits per pixel
// and any size; this picks the mode for `asked` as a display driver with
// that list would, and returns false when none fits.
bool chooseMode(const DisplayMode& asked, DisplayMode& chosen) {
    if (asked.width <= 0 || asked.height <= 0) return false;
    chosen = asked;
    if (asked.bitsPerPixel == 16 || asked.bitsPerPixel == 32) return true;
    if (asked.fixedBitsPerPixel) return false;
    chosen.bitsPerPixel = asked.bitsPerPixel > 16 ? 32 : 16;
    return true;
}

}  // namespace

void SceneWidget::initializeView() {
    if (initialized_) finalizeView();
    if (!parentWidget()) throw Error("Form not found");
    busy_ = true;
    try {
        int bits = 32;
        if (nowOptions_.has(doFullScreen)) {
            const int b = display.bitsPerPixel;
            if (b != 8 && b != 16 && b != 24 && b != 32) throw Error(modeError(display));
            DisplayMode chosen;
            if (!chooseMode(display, chosen)) throw Error(modeError(display));
            display = chosen;
            bits = display.bitsPerPixel;
        }
        device_ = std::make_unique<PixelDevice>(bits);
        if (autoSize_) {
            surfaceWidth_ = width();
            surfaceHeight_ = height();
        }
        Surface* bb = device_->createSurface();
        bb->setSize(std::max(1, surfaceWidth_), std::max(1, surfaceHeight_));
        bb->fill(0);
        backBuffer_ = bb;
        initialized_ = true;
        busy_ = false;
    } catch (...) {
        busy_ = false;
        finalizeView();
        throw;
    }
    emit initialized();
}

void SceneWidget::finalizeView() {
    const bool was = initialized_ || device_;
    busy_ = true;
    backBuffer_ = nullptr;
    device_.reset();
    initialized_ = false;
    busy_ = false;
    if (was) emit finalized();
}

bool SceneWidget::isViewReady() const {
    return initialized_ && !busy_ && backBuffer_ && backBuffer_->hasPixels();
}

void SceneWidget::present() {
    if (isViewReady()) present({backBuffer_->rect()});
}

void SceneWidget::present(const std::vector<PixelRect>& changed) {
    if (!isViewReady()) return;
    backBuffer_->releaseCanvas();
    if (!isVisible()) return;
    const QRect all(0, 0, backBuffer_->width(), backBuffer_->height());
    QRegion parts;
    for (const PixelRect& c : changed) parts |= QRect(c.left, c.top, c.width(), c.height()) & all;
    if (parts.isEmpty()) return;  // nothing new to show
    unshown_ |= parts;
    const qint64 interval = qint64(minPresentMs_) * 1000000;
    const qint64 since = lastShown_.isValid() ? lastShown_.nsecsElapsed() : interval;
    if (since < interval) {
        if (!showLater_->isActive()) showLater_->start(int((interval - since + 999999) / 1000000));
        return;
    }
    showNow();
}

void SceneWidget::showNow() {
    showLater_->stop();
    lastShown_.start();
    const QRect target = targetRect();
    const QRegion parts = unshown_;
    unshown_ = QRegion();
    const QSize buffer = bufferSize();
    const int z = target.width() / std::max(1, buffer.width());
    const bool wholeFactor = target.size() == buffer * z;
    if (!wholeFactor || parts.isEmpty()) {
        repaint();  // a stretched picture is shown whole
        return;
    }
    // Each changed part goes to the screen as the z times larger rectangle
    // it covers there, and only where the control shows it.
    QRegion shown;
    for (const QRect& r : parts)
        shown |= QRect(target.left() + r.left() * z, target.top() + r.top() * z, r.width() * z, r.height() * z);
    shown &= rect();
    if (!shown.isEmpty()) repaint(shown);
}

QSize SceneWidget::bufferSize() const {
    return backBuffer_ ? QSize(backBuffer_->width(), backBuffer_->height()) : QSize(surfaceWidth_, surfaceHeight_);
}

int SceneWidget::fitZoom() const {
    const QSize b = bufferSize();
    if (b.width() <= 0 || b.height() <= 0) return kMinZoom;
    return std::clamp(std::min(width() / b.width(), height() / b.height()), kMinZoom, kMaxZoom);
}

int SceneWidget::zoom() const { return fitToView_ ? fitZoom() : zoom_; }

void SceneWidget::setZoom(int factor) { changeZoom(false, factor, rect().center()); }

void SceneWidget::setFitToView(bool on) { changeZoom(on, zoom_, rect().center()); }

void SceneWidget::zoomIn() { setZoom(zoom() + 1); }

void SceneWidget::zoomOut() { setZoom(zoom() - 1); }

void SceneWidget::zoomAbout(int factor, QPoint controlPos) { changeZoom(false, factor, controlPos); }

void SceneWidget::changeZoom(bool fit, int factor, QPoint anchor) {
    const int before = zoom();
    const bool fitBefore = fitToView_;
    // The back-buffer pixel under the anchor and where in it the anchor is.
    const QPoint local = anchor - targetRect().topLeft();
    auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const QPoint pixel(floorDiv(local.x(), before), floorDiv(local.y(), before));
    const QPoint within = local - pixel * before;
    fitToView_ = fit;
    zoom_ = fit ? fitZoom() : std::clamp(factor, kMinZoom, kMaxZoom);
    const int after = zoom();
    // Scrolled so that the same pixel, at the same fraction of it, is at the
    // anchor again (the fraction rounded down per axis: QPoint's division
    // would round it to nearest, and could cross into the next pixel).
    const QPoint scaledWithin(within.x() * after / before, within.y() * after / before);
    pan_ = pixel * after + scaledWithin - anchor;
    clampPan();
    update();
    if (after != before || fit != fitBefore) emit zoomChanged(after);
}

void SceneWidget::clampPan() {
    const QSize shown = bufferSize() * zoom();
    pan_.setX(std::clamp(pan_.x(), 0, std::max(0, shown.width() - width())));
    pan_.setY(std::clamp(pan_.y(), 0, std::max(0, shown.height() - height())));
}

QPoint SceneWidget::panOffset() const {
    const QRect t = targetRect();
    return QPoint(std::max(0, -t.left()), std::max(0, -t.top()));
}

void SceneWidget::setPanOffset(QPoint controlPixels) {
    pan_ = controlPixels;
    clampPan();
    update();
}

QRect SceneWidget::targetRect() const {
    const QSize b = bufferSize();
    const int bw = b.width(), bh = b.height();
    const int w = width(), h = height();
    if (scaleToFit_ && bw > 0 && bh > 0 && (w > bw || h > bh)) {
        const double f = std::min(double(w) / bw, double(h) / bh);
        if (f > 1.0) {
            const int tw = int(bw * f), th = int(bh * f);
            return QRect((w - tw) / 2, (h - th) / 2, tw, th);
        }
    }
    const int z = scaleToFit_ ? 1 : zoom();
    const int tw = bw * z, th = bh * z;
    // On an axis where the picture is larger than the control it is
    // scrolled; where it fits it is centred (doCenter) or at the left/top.
    auto place = [this](int control, int picture, int scrolled) {
        if (picture > control) return -std::clamp(scrolled, 0, picture - control);
        return nowOptions_.has(doCenter) ? (control - picture) / 2 : 0;
    };
    return QRect(place(w, tw, pan_.x()), place(h, th, pan_.y()), tw, th);
}

QPoint SceneWidget::toBackBuffer(QPoint p) const {
    const QRect t = targetRect();
    const QSize b = bufferSize();
    if (t.size() == b) return p - t.topLeft();
    const double fx = double(b.width()) / t.width(), fy = double(b.height()) / t.height();
    return QPoint(int(std::floor((p.x() - t.left()) * fx)), int(std::floor((p.y() - t.top()) * fy)));
}

void SceneWidget::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (!isViewReady()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    const PixelView px = backBuffer_->pixels();
    const QImage image(px.pixels, px.width, px.height, px.pitch,
                       px.bytesPerPixel == 4 ? QImage::Format_RGB32 : QImage::Format_RGB16);
    const QRect target = targetRect();
    const QRegion around = (QRegion(rect()) - QRegion(target)) & event->region();
    for (const QRect& r : around) p.fillRect(r, Qt::black);
    const int z = target.width() / std::max(1, image.width());
    // The device's pixels per control pixel (the painter may be redirected,
    // as in QWidget::render, to a device of another ratio than the screen's).
    const qreal ratio = p.deviceTransform().m11() > 0 ? p.deviceTransform().m11() : devicePixelRatioF();
    const qreal scale = z * ratio;
    if (target.size() == image.size() * z && scale != std::floor(scale)) {
        // A fractional number of device pixels per back-buffer pixel: each
        // device pixel takes the back-buffer pixel under its centre, worked
        // out here so that parts painted apart meet without a seam.
        for (const QRect& r : event->region() & target) {
            const int left = int(std::floor(r.left() * ratio)), top = int(std::floor(r.top() * ratio));
            const int right = int(std::ceil((r.right() + 1) * ratio)), bottom = int(std::ceil((r.bottom() + 1) * ratio));
            QImage part(right - left, bottom - top, QImage::Format_RGB32);
            auto sourceOf = [&](int device, int origin, int size) {
                const int control = int(std::floor((device + 0.5) / ratio));
                return std::clamp((control - origin) / z, 0, size - 1);
            };
            std::vector<int> columns(std::size_t(part.width()));
            for (int x = 0; x < part.width(); ++x) columns[std::size_t(x)] = sourceOf(left + x, target.left(), image.width());
            const QImage source = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
            for (int y = 0; y < part.height(); ++y) {
                const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(sourceOf(top + y, target.top(), image.height())));
                auto* to = reinterpret_cast<QRgb*>(part.scanLine(y));
                for (int x = 0; x < part.width(); ++x) to[x] = from[columns[std::size_t(x)]];
            }
            part.setDevicePixelRatio(ratio);
            p.drawImage(QPointF(left / ratio, top / ratio), part);
        }
    } else if (target.size() == image.size() * z) {
        // Only the parts asked for are copied, each from the back-buffer
        // pixels it shows; without SmoothPixmapTransform the painter repeats
        // pixels, at the device's own pixels whatever its pixel ratio.
        for (const QRect& r : event->region() & target) {
            const QRect local = r.translated(-target.topLeft());
            const int left = local.left() / z, top = local.top() / z;
            const int right = local.right() / z, bottom = local.bottom() / z;
            const QRect source(left, top, right - left + 1, bottom - top + 1);
            const QRect shown(target.left() + left * z, target.top() + top * z, source.width() * z,
                              source.height() * z);
            if (z == 1)
                p.drawImage(shown.topLeft(), image, source);
            else
                p.drawImage(shown, image, source);
        }
    } else {
        p.drawImage(target, image);
    }
}

void SceneWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (fitToView_ && fitZoom() != zoom_) {
        zoom_ = fitZoom();
        emit zoomChanged(zoom_);
    }
    clampPan();
    if (!initialized_ || !autoSize_ || !backBuffer_) return;
    if (backBuffer_->width() == width() && backBuffer_->height() == height()) return;
    try {
        surfaceWidth_ = width();
        surfaceHeight_ = height();
        backBuffer_->setSize(std::max(1, surfaceWidth_), std::max(1, surfaceHeight_));
        backBuffer_->fill(0);
    } catch (const Error& e) {
        reportError(e.what());
    }
}

void SceneWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    if (!autoInitialize_ || initialized_) return;
    try {
        initializeView();
    } catch (const Error& e) {
        reportError(e.what());
    }
}

void SceneWidget::reportError(const std::string& text) {
    if (errorHandler_)
        errorHandler_(text);
    else
        QMessageBox::critical(window(), QGuiApplication::applicationDisplayName(),
                              QString::fromStdString(text));
}

void SceneWidget::trackPointer(QPoint controlPos) {
    const QPoint p = toBackBuffer(controlPos);
    const QSize b = bufferSize();
    if (p.x() >= 0 && p.y() >= 0 && p.x() < b.width() && p.y() < b.height()) {
        pointerOver_ = true;
        emit pointerMoved(p);
    } else if (pointerOver_) {
        pointerOver_ = false;
        emit pointerLeft();
    }
}

namespace {
// The control pixel a position falls in. At a fractional pixel ratio a
// position lies between whole control pixels; rounding it would give the
// pixel beside the one drawn under the pointer.
QPoint controlPixel(QPointF p) { return QPoint(int(std::floor(p.x())), int(std::floor(p.y()))); }
}  // namespace

void SceneWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = controlPixel(event->position());
    if (!panning_ && (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && spaceHeld_))) {
        // A pan: the editor never sees this button.
        panning_ = true;
        panButton_ = event->button();
        panStartPos_ = pos;
        panStartOffset_ = panOffset();
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (panning_) return;
    const QPoint p = toBackBuffer(pos);
    pressModifiers_ = event->modifiers();
    emit mouseDown(event->button(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
}

void SceneWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = controlPixel(event->position());
    if (panning_) {
        setPanOffset(panStartOffset_ - (pos - panStartPos_));
    } else {
        const QPoint p = toBackBuffer(pos);
        emit mouseMove(event->buttons(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
    }
    trackPointer(pos);
}

void SceneWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (panning_) {
        if (event->button() == panButton_) {
            panning_ = false;
            unsetCursor();
        }
        return;
    }
    const QPoint p = toBackBuffer(controlPixel(event->position()));
    emit mouseUp(event->button(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
}

void SceneWidget::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    if (scaleToFit_ || delta.isNull()) {
        event->ignore();
        return;
    }
    if (event->modifiers().testFlag(Qt::ControlModifier)) {
        const int step = delta.y() != 0 ? delta.y() : delta.x();
        zoomAbout(zoom() + (step > 0 ? 1 : -1), controlPixel(event->position()));
    } else {
        // The wheel scrolls a picture larger than the control; Shift turns
        // it sideways.
        QPoint by(-delta.x(), -delta.y());
        if (event->modifiers().testFlag(Qt::ShiftModifier)) by = QPoint(by.y(), by.x());
        setPanOffset(panOffset() + by * zoom() / 8);
    }
    trackPointer(controlPixel(event->position()));
    event->accept();
}

void SceneWidget::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (pointerOver_) {
        pointerOver_ = false;
        emit pointerLeft();
    }
}

bool SceneWidget::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowDeactivate && watched == window()) spaceHeld_ = false;  // its release goes elsewhere
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space || key->isAutoRepeat()) return false;
    auto* target = qobject_cast<QWidget*>(watched);
    if (target && target->window() == window()) spaceHeld_ = type == QEvent::KeyPress;
    return false;
}

}  // namespace slv
