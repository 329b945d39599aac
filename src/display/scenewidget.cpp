#include "display/scenewidget.h"

#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

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
    // A scaled picture is shown whole.
    if (target.width() == backBuffer_->width() && target.height() == backBuffer_->height() && !parts.isEmpty())
        repaint(parts.translated(target.topLeft()));
    else
        repaint();
}

QRect SceneWidget::targetRect() const {
    const int bw = backBuffer_ ? backBuffer_->width() : surfaceWidth_;
    const int bh = backBuffer_ ? backBuffer_->height() : surfaceHeight_;
    const int w = width(), h = height();
    if (scaleToFit_ && bw > 0 && bh > 0 && (w > bw || h > bh)) {
        const double f = std::min(double(w) / bw, double(h) / bh);
        if (f > 1.0) {
            const int tw = int(bw * f), th = int(bh * f);
            return QRect((w - tw) / 2, (h - th) / 2, tw, th);
        }
    }
    int x = 0, y = 0;
    if (nowOptions_.has(doCenter)) {
        x = (w - bw) / 2;  // truncates toward zero
        y = (h - bh) / 2;
    }
    return QRect(x, y, bw, bh);
}

QPoint SceneWidget::toBackBuffer(QPoint p) const {
    const QRect t = targetRect();
    const int bw = backBuffer_ ? backBuffer_->width() : surfaceWidth_;
    const int bh = backBuffer_ ? backBuffer_->height() : surfaceHeight_;
    if (t.width() == bw && t.height() == bh) return p - t.topLeft();
    const double fx = double(bw) / t.width(), fy = double(bh) / t.height();
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
    if (target.size() == image.size()) {
        // Only the parts asked for are copied.
        for (const QRect& r : event->region() & target)
            p.drawImage(r.topLeft(), image, r.translated(-target.topLeft()));
    } else {
        p.drawImage(target, image);
    }
}

void SceneWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
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

void SceneWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint p = toBackBuffer(event->position().toPoint());
    emit mouseDown(event->button(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
}

void SceneWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = toBackBuffer(event->position().toPoint());
    emit mouseMove(event->buttons(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
}

void SceneWidget::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = toBackBuffer(event->position().toPoint());
    emit mouseUp(event->button(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
}

}  // namespace slv
