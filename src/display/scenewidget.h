// The scene view control: owns the device and the back buffer, shows the back
// buffer in the window, reports the mouse in back-buffer pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include "display/canvas.h"
#include "display/surface.h"

namespace slv {

// The view's option flags, in bit order.
enum SceneOption : int {
    doFullScreen,
    doNoWindowChange,
    doAllowReboot,
    doWaitVBlank,
    doAllowPalette256,
    doSystemMemory,
    doStretch,
    doCenter,
    doFlip,
    do3D,
    doDirectX7Mode,
    doRetainedMode,
    doHardware,
    doSelectDriver,
    doZBuffer,
};

class SceneOptions {
public:
    constexpr SceneOptions() = default;
    constexpr SceneOptions(std::initializer_list<SceneOption> flags) {
        for (SceneOption f : flags) bits_ |= std::uint16_t(1u << f);
    }
    static constexpr SceneOptions fromBits(std::uint16_t bits) {
        SceneOptions o;
        o.bits_ = bits & 0x7FFF;
        return o;
    }
    constexpr std::uint16_t bits() const { return bits_; }
    constexpr bool has(SceneOption f) const { return (bits_ >> f) & 1u; }
    constexpr SceneOptions& include(SceneOption f) { bits_ |= std::uint16_t(1u << f); return *this; }
    constexpr SceneOptions& exclude(SceneOption f) { bits_ &= std::uint16_t(~(1u << f)); return *this; }
    constexpr bool operator==(const SceneOptions&) const = default;

    // The effective set that a declared set leads to.
    static SceneOptions derive(SceneOptions declared);

private:
    std::uint16_t bits_ = 0;
};

// Full-screen display mode settings.
struct DisplayMode {
    int width = 640;
    int height = 480;
    int bitsPerPixel = 16;
    bool fixedBitsPerPixel = true;
    bool fixedRatio = true;
    bool fixedSize = false;
};

class SceneWidget : public QWidget {
    Q_OBJECT
public:
    explicit SceneWidget(QWidget* parent = nullptr);
    ~SceneWidget() override;

    // Creates the device (RGB565 with doFullScreen, XRGB8888 otherwise) and a
    // back buffer filled with 0. Throws slv::Error; on failure the view is
    // left finalised.
    void initializeView();
    // Destroys the device and with it every surface made on it.
    void finalizeView();
    bool isInitialized() const { return initialized_; }
    bool isViewReady() const;
    // Shows the back buffer; does nothing unless the view is ready. A frame
    // is shown at once when the last one was shown at least
    // minPresentInterval() ago; a frame that comes sooner is shown when the
    // interval has passed, unless a newer one has replaced it by then, so
    // the frame loop does not wait on the display for frames no screen
    // refreshes fast enough to show.
    void present();
    // The same when only the `changed` parts (in back-buffer pixels) differ
    // from the frames presented before: only they go to the screen, and
    // nothing does when there are none.
    void present(const std::vector<PixelRect>& changed);
    int minPresentInterval() const { return minPresentMs_; }  // milliseconds
    void setMinPresentInterval(int ms) { minPresentMs_ = ms < 0 ? 0 : ms; }

    Surface* backBuffer() const { return backBuffer_; }
    PixelDevice* device() const { return device_.get(); }
    // The surface of a handle on the current device; null when there is none.
    Surface* resolve(SurfaceHandle handle) const {
        return device_ ? device_->resolve(handle) : nullptr;
    }

    SceneOptions options() const { return options_; }       // as declared
    SceneOptions effectiveOptions() const { return nowOptions_; }  // in effect
    void setOptions(SceneOptions options);

    DisplayMode display;

    // The back buffer follows the control's size (default) or keeps
    // SurfaceWidth x SurfaceHeight.
    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool on) { autoSize_ = on; }
    bool autoInitialize() const { return autoInitialize_; }
    void setAutoInitialize(bool on) { autoInitialize_ = on; }
    int surfaceWidth() const { return surfaceWidth_; }
    int surfaceHeight() const { return surfaceHeight_; }
    void setSurfaceSize(int width, int height);

    // When set and the control is larger than the back buffer, the back
    // buffer is scaled up to fit with its aspect kept and black around it.
    bool scaleToFit() const { return scaleToFit_; }
    void setScaleToFit(bool on);
    void setCursorHidden(bool hidden);

    // Where the back buffer is shown, in control pixels.
    QRect targetRect() const;
    // A control position in back-buffer pixels.
    QPoint toBackBuffer(QPoint controlPos) const;

    // Zoom: each back-buffer pixel is shown as zoom() x zoom() control pixels
    // (whole factors kMinZoom..kMaxZoom), always by repeating pixels, never
    // by blending them. With fit to view the factor is the largest that shows
    // the whole back buffer in the control, at least 1. scaleToFit, the full
    // screen's stretch, overrides both.
    //
    // The view pans by an offset of its own rather than sitting in a scroll
    // area: the back buffer is the scene's size whatever the zoom, and a
    // control 8 times its size would make every repaint, every change of
    // size (autoSize) and every mouse position go through a widget far
    // larger than the screen. Here only the visible part is ever painted,
    // and the mapping of positions stays in one place (toBackBuffer).
    static constexpr int kMinZoom = 1;
    static constexpr int kMaxZoom = 8;
    int zoom() const;  // the factor in effect
    bool fitToView() const { return fitToView_; }
    // Clamped to kMinZoom..kMaxZoom; ends fit to view. The back-buffer pixel
    // at the control's centre stays there.
    void setZoom(int factor);
    void setFitToView(bool on);
    void zoomIn();
    void zoomOut();
    // Zooms to `factor` keeping the back-buffer point under `controlPos`
    // where it is (as far as the panning range allows).
    void zoomAbout(int factor, QPoint controlPos);
    // How far the zoomed picture is scrolled, in control pixels: its point
    // shown at the control's top left corner, 0 on an axis where it fits.
    // Kept within the picture.
    QPoint panOffset() const;
    void setPanOffset(QPoint controlPixels);

    // Called with the text of an error raised while the view initialises by
    // itself; shows a message box when not set.
    void setErrorHandler(std::function<void(const std::string&)> handler) {
        errorHandler_ = std::move(handler);
    }

    // The keys held (Shift, Ctrl...) at the last press of a button on the view.
    Qt::KeyboardModifiers pressModifiers() const { return pressModifiers_; }

signals:
    void initialized();
    void finalized();
    // Buttons are Qt::LeftButton / Qt::RightButton; ctrl is the Ctrl key's
    // state; x, y are back-buffer pixels.
    void mouseDown(Qt::MouseButton button, bool ctrl, int x, int y);
    void mouseMove(Qt::MouseButtons buttons, bool ctrl, int x, int y);
    void mouseUp(Qt::MouseButton button, bool ctrl, int x, int y);
    // The factor in effect changed, or fit to view was turned on or off.
    void zoomChanged(int factor);
    // The pointer is over back-buffer pixel `scenePixel`; pointerLeft once it
    // is no longer over the back buffer.
    void pointerMoved(QPoint scenePixel);
    void pointerLeft();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reportError(const std::string& text);
    QSize bufferSize() const;
    int fitZoom() const;
    // Applies a zoom change keeping the back-buffer point at `anchor`
    // (control pixels) in place; emits zoomChanged when it changed.
    void changeZoom(bool fit, int factor, QPoint anchor);
    void clampPan();
    // Reports the pointer's back-buffer pixel, or that it left the picture.
    void trackPointer(QPoint controlPos);

    std::unique_ptr<PixelDevice> device_;
    Surface* backBuffer_ = nullptr;
    SceneOptions options_;
    SceneOptions nowOptions_;
    bool initialized_ = false;
    bool busy_ = false;  // initialising or finalising
    bool autoSize_ = true;
    bool autoInitialize_ = true;
    bool shownOnce_ = false;
    bool scaleToFit_ = false;
    int surfaceWidth_ = 0;
    int surfaceHeight_ = 0;
    std::function<void(const std::string&)> errorHandler_;
    void showNow();
    // 4 ms: faster than the refresh of any common display (240 Hz).
    int minPresentMs_ = 4;
    QElapsedTimer lastShown_;
    QRegion unshown_;  // back-buffer pixels presented but not yet shown
    QTimer* showLater_ = nullptr;
    int zoom_ = 1;
    bool fitToView_ = false;
    // The zoomed picture's control pixel shown at the control's top left.
    QPoint pan_;
    bool panning_ = false;
    Qt::MouseButton panButton_ = Qt::NoButton;
    QPoint panStartPos_, panStartOffset_;
    bool spaceHeld_ = false;  // Space held: a left drag pans
    bool pointerOver_ = false;
    Qt::KeyboardModifiers pressModifiers_;
};

}  // namespace slv
