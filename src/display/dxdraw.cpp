#include "display/dxdraw.h"

#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>

#include "model/errors.h"

namespace slv {

TDXDrawOptions TDXDrawOptions::derive(TDXDrawOptions declared) {
    TDXDrawOptions e = declared;
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

TDXDraw::TDXDraw(QWidget* parent) : QWidget(parent), showLater_(new QTimer(this)) {
    showLater_->setSingleShot(true);
    showLater_->setTimerType(Qt::PreciseTimer);
    connect(showLater_, &QTimer::timeout, this, [this] {
        if (ViewReady() && isVisible()) {
            backBuffer_->ReleaseCanvas();
            showNow();
        }
    });
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    resize(640, 430);
    setOptions({doAllowReboot, doCenter, doHardware, doSelectDriver});
}

TDXDraw::~TDXDraw() { FinalizeView(); }

void TDXDraw::setOptions(TDXDrawOptions options) {
    options_ = options;
    nowOptions_ = TDXDrawOptions::derive(options);
}

void TDXDraw::setSurfaceSize(int width, int height) {
    surfaceWidth_ = width;
    surfaceHeight_ = height;
}

void TDXDraw::setScaleToFit(bool on) {
    scaleToFit_ = on;
    update();
}

void TDXDraw::setCursorHidden(bool hidden) {
    if (hidden)
        setCursor(Qt::BlankCursor);
    else
        unsetCursor();
}

namespace {

std::string modeError(const TDXDrawDisplay& d) {
    return "Display mode cannot be changed (" + std::to_string(d.Width) + "x" +
           std::to_string(d.Height) + " " + std::to_string(d.BitCount) + "bit)";
}

// The full-screen modes are drawn into the window at 16 or 32 bits per pixel
// and any size; this picks the mode for `asked` as a display driver with
// that list would, and returns false when none fits.
bool chooseMode(const TDXDrawDisplay& asked, TDXDrawDisplay& chosen) {
    if (asked.Width <= 0 || asked.Height <= 0) return false;
    chosen = asked;
    if (asked.BitCount == 16 || asked.BitCount == 32) return true;
    if (asked.FixedBitCount) return false;
    chosen.BitCount = asked.BitCount > 16 ? 32 : 16;
    return true;
}

}  // namespace

void TDXDraw::InitializeView() {
    if (initialized_) FinalizeView();
    if (!parentWidget()) throw Error("Form not found");
    busy_ = true;
    try {
        int bits = 32;
        if (nowOptions_.has(doFullScreen)) {
            const int b = Display.BitCount;
            if (b != 8 && b != 16 && b != 24 && b != 32) throw Error(modeError(Display));
            TDXDrawDisplay chosen;
            if (!chooseMode(Display, chosen)) throw Error(modeError(Display));
            Display = chosen;
            bits = Display.BitCount;
        }
        device_ = std::make_unique<TDirectDraw>(bits);
        if (autoSize_) {
            surfaceWidth_ = width();
            surfaceHeight_ = height();
        }
        TDirectDrawSurface* bb = device_->CreateSurface();
        bb->SetSize(std::max(1, surfaceWidth_), std::max(1, surfaceHeight_));
        bb->FillColor(0);
        backBuffer_ = bb;
        initialized_ = true;
        busy_ = false;
    } catch (...) {
        busy_ = false;
        FinalizeView();
        throw;
    }
    emit initialized();
}

void TDXDraw::FinalizeView() {
    const bool was = initialized_ || device_;
    busy_ = true;
    backBuffer_ = nullptr;
    device_.reset();
    initialized_ = false;
    busy_ = false;
    if (was) emit finalized();
}

bool TDXDraw::ViewReady() const {
    return initialized_ && !busy_ && backBuffer_ && backBuffer_->hasPixels();
}

void TDXDraw::Present() {
    if (!ViewReady()) return;
    backBuffer_->ReleaseCanvas();
    if (!isVisible()) return;
    const qint64 interval = qint64(minPresentMs_) * 1000000;
    const qint64 since = lastShown_.isValid() ? lastShown_.nsecsElapsed() : interval;
    if (since < interval) {
        if (!showLater_->isActive()) showLater_->start(int((interval - since + 999999) / 1000000));
        return;
    }
    showNow();
}

void TDXDraw::showNow() {
    showLater_->stop();
    lastShown_.start();
    repaint();
}

QRect TDXDraw::targetRect() const {
    const int bw = backBuffer_ ? backBuffer_->Width() : surfaceWidth_;
    const int bh = backBuffer_ ? backBuffer_->Height() : surfaceHeight_;
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

QPoint TDXDraw::toBackBuffer(QPoint p) const {
    const QRect t = targetRect();
    const int bw = backBuffer_ ? backBuffer_->Width() : surfaceWidth_;
    const int bh = backBuffer_ ? backBuffer_->Height() : surfaceHeight_;
    if (t.width() == bw && t.height() == bh) return p - t.topLeft();
    const double fx = double(bw) / t.width(), fy = double(bh) / t.height();
    return QPoint(int(std::floor((p.x() - t.left()) * fx)), int(std::floor((p.y() - t.top()) * fy)));
}

void TDXDraw::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!ViewReady()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    const PixelView px = backBuffer_->Pixels();
    const QImage image(px.pixels, px.width, px.height, px.pitch,
                       px.bytesPerPixel == 4 ? QImage::Format_RGB32 : QImage::Format_RGB16);
    const QRect target = targetRect();
    const QRegion around = QRegion(rect()) - QRegion(target);
    for (const QRect& r : around) p.fillRect(r, Qt::black);
    if (target.size() == image.size())
        p.drawImage(target.topLeft(), image);
    else
        p.drawImage(target, image);
}

void TDXDraw::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!initialized_ || !autoSize_ || !backBuffer_) return;
    if (backBuffer_->Width() == width() && backBuffer_->Height() == height()) return;
    try {
        surfaceWidth_ = width();
        surfaceHeight_ = height();
        backBuffer_->SetSize(std::max(1, surfaceWidth_), std::max(1, surfaceHeight_));
        backBuffer_->FillColor(0);
    } catch (const Error& e) {
        reportError(e.what());
    }
}

void TDXDraw::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    if (!autoInitialize_ || initialized_) return;
    try {
        InitializeView();
    } catch (const Error& e) {
        reportError(e.what());
    }
}

void TDXDraw::reportError(const std::string& text) {
    if (errorHandler_)
        errorHandler_(text);
    else
        QMessageBox::critical(window(), QGuiApplication::applicationDisplayName(),
                              QString::fromStdString(text));
}

void TDXDraw::mousePressEvent(QMouseEvent* event) {
    const QPoint p = toBackBuffer(event->position().toPoint());
    emit mouseDown(event->button(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
}

void TDXDraw::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = toBackBuffer(event->position().toPoint());
    emit mouseMove(event->buttons(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
}

void TDXDraw::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = toBackBuffer(event->position().toPoint());
    emit mouseUp(event->button(), event->modifiers().testFlag(Qt::ControlModifier), p.x(), p.y());
}

}  // namespace slv
