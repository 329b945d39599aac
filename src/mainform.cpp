// The main window: its controls, start-up and close, the work directory.
#include "mainform.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileSystemModel>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeView>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "model/errors.h"
#include "model/fileio.h"
#include "model/settings.h"
#include "display/dxdraw.h"
#include "display/dxtimer.h"
#include "spriteframe/spriteframe.h"
#include "ui/editstate.h"
#include "ui/swatch.h"
#include "ui/uiservices.h"

using namespace slv;

namespace {

QSpinBox* unboundedSpin(QWidget* parent, int x, int y, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(INT_MIN, INT_MAX);
    s->setGeometry(x, y, 70, 20);
    return s;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y, const char* name = nullptr) {
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(name);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QListWidget* stageList(QWidget* page, const char* name) {
    auto* lb = new QListWidget(page);
    lb->setObjectName(name);
    lb->setGeometry(5, 5, 128, 407);
    lb->setUniformItemSizes(true);
    lb->setStyleSheet("QListWidget::item { height: 13px; padding: 0px; }");
    return lb;
}

// The icon shown at the bottom right of the window.
QPixmap windowIcon32() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(40, 90, 160));
    p.setPen(QPen(QColor(20, 40, 80), 2));
    p.drawRoundedRect(2, 2, 28, 28, 5, 5);
    p.setBrush(QColor(255, 0, 255));
    p.setPen(Qt::NoPen);
    p.drawEllipse(8, 8, 10, 10);
    p.setBrush(QColor(250, 220, 60));
    p.drawRect(14, 16, 12, 10);
    return pm;
}

}  // namespace

Tmain::Tmain(QWidget* parent) : QWidget(parent), level_(std::make_unique<Level>()) {
    setObjectName("main");
    setWindowTitle("Sublevel editor");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(800, 600);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    buildControls();
    connectHandlers();
    try {
        FormCreate();
    } catch (const std::exception& e) {
        // Start-up stops at the failing step; the window opens all the same.
        QString text = QString::fromUtf8(e.what());
        QMetaObject::invokeMethod(this, [this, text] { showError(text); }, Qt::QueuedConnection);
    }
}

Tmain::~Tmain() = default;

void Tmain::buildControls() {
    editor_ = new QWidget(this);
    editor_->setObjectName("editor");
    editor_->setGeometry(0, 0, 800, 600);
    Panel1 = new QFrame(editor_);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setGeometry(0, 0, 800, 600);
    Image2 = new QLabel(Panel1);
    Image2->setObjectName("Image2");
    Image2->setGeometry(760, 560, 32, 32);
    Image2->setPixmap(windowIcon32());
    this->setWindowIcon(QIcon(windowIcon32()));

    Panel2 = new QFrame(editor_);
    Panel2->setObjectName("Panel2");
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Sunken);
    Panel2->setGeometry(5, 5, 644, 434);

    PageControl1 = new QStackedWidget(editor_);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(651, 29, 144, 430);
    for (int i = 0; i < 3; ++i) {
        auto* page = new QWidget;
        PageControl1->addWidget(page);
        auto* lb = stageList(page, i == 0 ? "ListBox1" : i == 1 ? "ListBox2" : "ListBox3");
        (i == 0 ? ListBox1 : i == 1 ? ListBox2 : ListBox3) = lb;
    }
    PageControl1->addWidget(new QWidget);  // "Pather" shows no list

    PageControl2 = new QTabWidget(editor_);
    PageControl2->setObjectName("PageControl2");
    PageControl2->setGeometry(5, 439, 645, 157);
    auto* stageTab = new QWidget;
    auto* spriteTab = new QWidget;
    auto* sectorTab = new QWidget;
    auto* patherTab = new QWidget;
    PageControl2->addTab(stageTab, "Stage");
    PageControl2->addTab(spriteTab, "Sprite");
    PageControl2->addTab(sectorTab, "Sector");
    PageControl2->addTab(patherTab, "Pather");
    buildStageTab(stageTab);
    buildSpriteTab(spriteTab);
    buildSectorTab(sectorTab);

    Button4 = new QPushButton("Add", editor_);
    Button4->setObjectName("Button4");
    Button4->setGeometry(652, 5, 45, 25);
    Button4->setToolTip("Add (ins)");
    Button5 = new QPushButton("Mod", editor_);
    Button5->setObjectName("Button5");
    Button5->setGeometry(701, 5, 45, 25);
    Button5->setToolTip("Change (F8)");
    Button6 = new QPushButton("Del", editor_);
    Button6->setObjectName("Button6");
    Button6->setGeometry(749, 6, 45, 25);

    spritef1 = new Tspritef(editor_);
    spritef1->setGeometry(651, 30, 144, 430);
    spritef1->hide();

    // The folder model behind the tree is made when the tree is first shown:
    // watching the file system costs start-up time most runs never use.
    DirectoryOutline1 = new QTreeView(editor_);
    DirectoryOutline1->setObjectName("DirectoryOutline1");
    DirectoryOutline1->header()->hide();
    DirectoryOutline1->setGeometry(651, 30, 144, 430);
    DirectoryOutline1->hide();

    createView();
    buildProgressPanel();
}

void Tmain::buildStageTab(QWidget* page) {
    Button1 = new QPushButton("New", page);
    Button1->setObjectName("Button1");
    Button1->setGeometry(14, 50, 55, 55);
    Button2 = new QPushButton("Open", page);
    Button2->setObjectName("Button2");
    Button2->setGeometry(80, 50, 55, 55);
    Button3 = new QPushButton("Save", page);
    Button3->setObjectName("Button3");
    Button3->setGeometry(146, 50, 55, 55);
    Button7 = new QPushButton("WorkDir :", page);
    Button7->setObjectName("Button7");
    Button7->setGeometry(14, 110, 67, 17);
    Label18 = label(page, QString(), 85, 111, "Label18");
    Label18->resize(260, 14);

    CheckBox1 = new QCheckBox("SpriteBox", page);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setGeometry(373, 7, 75, 17);
    CheckBox1->setChecked(false);
    CheckBox2 = new QCheckBox("Sectors", page);
    CheckBox2->setObjectName("CheckBox2");
    CheckBox2->setGeometry(374, 26, 75, 17);
    CheckBox2->setChecked(true);
    Panel4 = new SwatchPanel(page);
    Panel4->setObjectName("Panel4");
    Panel4->setGeometry(355, 9, 15, 12);
    Panel5 = new SwatchPanel(page);
    Panel5->setObjectName("Panel5");
    Panel5->setGeometry(355, 28, 15, 12);

    RadioGroup1 = new QGroupBox("preview", page);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioGroup1->setGeometry(373, 58, 73, 67);
    RadioStages = new QRadioButton("Stages", RadioGroup1);
    RadioStages->setGeometry(8, 18, 62, 18);
    RadioStages->setChecked(true);
    RadioSplash = new QRadioButton("Splash", RadioGroup1);
    RadioSplash->setGeometry(8, 40, 62, 18);

    Panel3 = new QFrame(page);
    Panel3->setObjectName("Panel3");
    Panel3->setFrameShape(QFrame::Panel);
    Panel3->setFrameShadow(QFrame::Sunken);
    Panel3->setGeometry(451, 3, 181, 123);
    Image1 = new QLabel(Panel3);
    Image1->setObjectName("Image1");
    Image1->setGeometry(2, 2, 177, 119);
    Image1->setScaledContents(true);
}

void Tmain::buildSpriteTab(QWidget* page) {
    GroupBox1 = new QGroupBox("Main", page);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(5, 1, 185, 122);
    label(GroupBox1, "Name : ", 8, 20);
    Label5 = label(GroupBox1, "none", 60, 20, "Label5");
    Label5->resize(120, 14);
    label(GroupBox1, "X : ", 8, 42);
    SpinEdit1 = unboundedSpin(GroupBox1, 60, 40, "SpinEdit1");
    label(GroupBox1, "Y : ", 8, 66);
    SpinEdit3 = unboundedSpin(GroupBox1, 60, 64, "SpinEdit3");
    label(GroupBox1, "W : ", 8, 92);
    Label10 = label(GroupBox1, "0", 30, 92, "Label10");
    Label10->resize(50, 14);
    label(GroupBox1, "H : ", 90, 92);
    Label11 = label(GroupBox1, "0", 112, 92, "Label11");
    Label11->resize(50, 14);
    Label2 = label(page, QString(), 194, 109, "Label2");
    Label2->resize(80, 14);
}

void Tmain::buildSectorTab(QWidget* page) {
    GroupBox2 = new QGroupBox("Main", page);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(5, 1, 185, 122);
    label(GroupBox2, "Name : ", 8, 20);
    Label13 = label(GroupBox2, "none", 60, 20, "Label13");
    Label13->resize(120, 14);
    label(GroupBox2, "X : ", 8, 42);
    SpinEdit2 = unboundedSpin(GroupBox2, 26, 40, "SpinEdit2");
    SpinEdit2->resize(60, 20);
    label(GroupBox2, "Y : ", 92, 42);
    SpinEdit4 = unboundedSpin(GroupBox2, 112, 40, "SpinEdit4");
    SpinEdit4->resize(60, 20);
    label(GroupBox2, "W : ", 8, 72);
    SpinEdit5 = unboundedSpin(GroupBox2, 26, 70, "SpinEdit5");
    SpinEdit5->resize(60, 20);
    label(GroupBox2, "H : ", 92, 72);
    SpinEdit6 = unboundedSpin(GroupBox2, 112, 70, "SpinEdit6");
    SpinEdit6->resize(60, 20);
}

void Tmain::buildProgressPanel() {
    Panel6 = new QFrame(editor_);
    Panel6->setObjectName("Panel6");
    Panel6->setFrameShape(QFrame::Panel);
    Panel6->setFrameShadow(QFrame::Raised);
    Panel6->setLineWidth(2);
    Panel6->setAutoFillBackground(true);
    Panel6->setGeometry(178, 174, 290, 91);
    QFont big = font();
    big.setPixelSize(24);
    Label19 = label(Panel6, "Saving : ", 43, 21, "Label19");
    Label19->setFont(big);
    Label19->adjustSize();
    Label20 = label(Panel6, QString(), 146, 21, "Label20");
    Label20->setFont(big);
    Label20->resize(140, 28);
    QFont small = font();
    small.setPixelSize(11);
    small.setBold(true);
    Label21 = label(Panel6, QString(), 264, 56, "Label21");
    Label21->setFont(small);
    Label21->resize(24, 14);
    pb1 = new QProgressBar(Panel6);
    pb1->setObjectName("pb1");
    pb1->setGeometry(27, 55, 233, 17);
    pb1->setMinimum(0);
    pb1->setTextVisible(false);
    Panel6->hide();
}

void Tmain::connectHandlers() {
    connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(PageControl2, &QTabWidget::currentChanged, this, [this] { PageControl2Change(); });
    connect(Panel4, &SwatchPanel::clicked, this, [this] { Panel4Click(); });
    connect(Panel5, &SwatchPanel::clicked, this, [this] { Panel5Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    auto onRow = [this](QListWidget* list, void (Tmain::*handler)()) {
        connect(list, &QListWidget::currentRowChanged, this, [this, handler] {
            if (!listUpdating_) (this->*handler)();
        });
        connect(list, &QListWidget::itemClicked, this, [this, handler] { (this->*handler)(); });
    };
    onRow(ListBox1, &Tmain::ListBox1Click);
    onRow(ListBox2, &Tmain::ListBox2Click);
    onRow(ListBox3, &Tmain::ListBox3Click);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { ListBox1DblClick(); });
    connect(RadioStages, &QRadioButton::clicked, this, [this] { RadioGroup1Click(0); });
    connect(RadioSplash, &QRadioButton::clicked, this, [this] { RadioGroup1Click(1); });
    connect(SpinEdit1, &QSpinBox::valueChanged, this, [this] { SpinEdit1Change(); });
    connect(SpinEdit3, &QSpinBox::valueChanged, this, [this] { SpinEdit3Change(); });
    setupPicker();
    setupEditing();
    qApp->installEventFilter(this);
}

std::string Tmain::homePath(const char* name) const { return joinPath(level_->homedir, name); }

namespace {

// The frame-rate cap of the home folder: one decimal number, 0 for none.
constexpr const char* kMaxFpsFile = "maxfps.txt";

// A frame-rate cap from its text: a whole number 0..1000; -1 when not one.
int parseMaxFps(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n >= 0 && n <= 1000 ? n : -1;
}

}  // namespace

void Tmain::setMaxFps(int fps) {
    maxFps = fps < 0 ? 0 : fps;
    // The frame timer waits out the rest of each interval instead of spinning.
    if (DXTimer1) DXTimer1->setInterval(maxFps > 0 ? (1000 + maxFps - 1) / maxFps : 0);
}

void Tmain::FormCreate() {
    Level& L = *level_;
    // Each step that fails is reported, in one message at the end, and the
    // steps after it still run: a missing preview picture must not keep the
    // settings from being read, or closing would write defaults over them.
    // Each message names the file it is about.
    QStringList failures;
    auto attempt = [&failures](const std::string& file, const auto& step) {
        try {
            step();
            return true;
        } catch (const std::exception& e) {
            const QString text = QString::fromUtf8(e.what());
            const QString name = QString::fromStdString(file);
            failures << (text.contains(name) ? text : name + ": " + text);
            return false;
        }
    };
    // Image2 and Panel1 are placed by buildControls (steps 1 and 9).
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    L.startuppackage.clear();
    L.homedir.clear();
    const ReadReport home = readHomeFolderFile(homeFolderFilePath(), L.homedir);
    if (home.state != FileRead::Read || L.homedir.empty()) L.homedir = QDir::currentPath().toStdString();
    L.workdir = cutText(L.homedir, 255);
    int fpsOption = -1;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == "--max-fps" || a.startsWith("--max-fps=")) {
            const QString value = a.contains('=') ? a.section('=', 1) : args.value(++i);
            fpsOption = parseMaxFps(value);
            if (fpsOption < 0) failures << "--max-fps needs a number from 0 to 1000, not \"" + value + "\"";
        } else if (L.startuppackage.empty() && !a.isEmpty()) {
            L.startuppackage = a.toStdString();
        }
    }
    Label18->setText(QString::fromStdString(L.workdir));
    attempt(homePath("screen1.bmp"), [&] { loadPreview(homePath("screen1.bmp")); });
    Panel1->lower();
    PageControl1->setCurrentIndex(PageControl2->currentIndex());
    const ReadReport poses = readPoses(L, homePath("totposes.dat"), settingsState_);
    L.spriteboxcolor = kDefaultSpriteBoxColor;
    L.sectorcolor = kDefaultSectorColor;
    const ReadReport cf = readSettings(L, homePath("corvatel.cf"), settingsState_);
    Panel4->setColor(L.spriteboxcolor);
    Panel5->setColor(L.sectorcolor);
    Label18->setText(QString::fromStdString(L.workdir));
    for (const ReadReport* r : {&home, &poses, &cf})
        if (!r->message.empty()) failures << QString::fromStdString(r->message);
    // The frame-rate cap: the command line's, else the home folder's file.
    const std::string capFile = homePath(kMaxFpsFile);
    if (fpsOption < 0 && fileExists(capFile)) {
        attempt(capFile, [&] {
            const QString text = QString::fromStdString(readWholeFile(capFile));
            fpsOption = parseMaxFps(text);
            if (fpsOption < 0)
                throw Error("a frame-rate cap is a number from 0 to 1000, not \"" +
                            text.trimmed().left(40).toStdString() + "\"");
        });
    }
    setMaxFps(fpsOption < 0 ? 0 : fpsOption);
    if (!failures.isEmpty()) throw Error(failures.join("\n\n").toStdString());
}

void Tmain::loadPreview(const std::string& path) {
    if (!fileExists(path)) throw Error("Cannot open file " + path);
    QPixmap pm;
    if (!pm.load(QString::fromStdString(path))) throw Error("Bitmap image is not valid");
    Image1->setPixmap(pm);
}

bool Tmain::FormClose() {
    Level& L = *level_;
    // The settings are written first, while everything is still in place, so
    // that a failed write can leave the window open with nothing lost. A file
    // that could not be read at start is left as it is: what it holds is not
    // what this run knows.
    QStringList failures;
    auto write = [&failures](const auto& writer) {
        try {
            writer();
        } catch (const std::exception& e) {
            failures << QString::fromUtf8(e.what());
        }
    };
    write([&] { writePoses(L, homePath("totposes.dat"), settingsState_); });
    write([&] { writeSettings(L, homePath("corvatel.cf"), settingsState_); });
    if (!failures.isEmpty() &&
        !UiServices::instance().confirm(
            this, "The settings could not be written:\n" + failures.join("\n") + "\n\nClose anyway ?"))
        return false;

    // New releases the level's pictures; the window goes whatever it reports.
    try {
        Button1Click();
    } catch (const std::exception&) {
    }
    // A clean close: this editor's recovery folder goes with it.
    editState().recovery.close();
    freeSurface(L.backsurface);
    L.backsurface = 0;
    freeSurface(L.padsurface);
    L.padsurface = 0;
    for (int i = 1; i <= L.totskins && i <= kMaxSkins; ++i) {
        freeSurface(L.skin(i).surface);
        L.skin(i).surface = 0;
    }
    return true;
}

// Esc and the window's own close both arrive here.
void Tmain::closeEvent(QCloseEvent* e) {
    if (closed_) {
        e->accept();
        return;
    }
    if (!confirmClose()) {  // a changed level is saved or discarded first
        e->ignore();
        return;
    }
    releaseHeldKeys();
    bool done = false;
    try {
        done = FormClose();
    } catch (const std::exception& ex) {
        showError(QString::fromUtf8(ex.what()));
    }
    closed_ = done;
    if (done) e->accept(); else e->ignore();
}

void Tmain::showOpenStage() {
    Level& L = *level_;
    if (L.curstage < 1 || L.curstage > L.totstages || L.curstage > kMaxStages) return;
    const std::string path = L.stage(L.curstage).path.str();
    try {
        if (TDirectDrawSurface* back = surface(L.backsurface))
            back->LoadBitmapFile(path);
        else
            L.backsurface = loadSurface(path, false);
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

void Tmain::centerOnScreen() {
    QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!scr) return;
    QRect g = scr->geometry();
    move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
}

void Tmain::showError(const QString& text) { UiServices::instance().error(this, text); }

void Tmain::Button7Click() {
    if (!dirModel) {
        dirModel = new QFileSystemModel(this);
        dirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
        dirModel->setRootPath("/");
        DirectoryOutline1->setModel(dirModel);
        for (int c = 1; c < dirModel->columnCount(); ++c) DirectoryOutline1->hideColumn(c);
        connect(DirectoryOutline1->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& cur) { DirectoryOutline1Change(dirModel->filePath(cur)); });
    }
    if (!DirectoryOutline1->currentIndex().isValid()) {
        QModelIndex idx = dirModel->index(QString::fromStdString(level_->workdir));
        if (idx.isValid()) {
            DirectoryOutline1->setCurrentIndex(idx);
            DirectoryOutline1->scrollTo(idx);
        }
    }
    DirectoryOutline1->show();
    DirectoryOutline1->raise();
}

void Tmain::DirectoryOutline1Change(const QString& dir) {
    if (dir.isEmpty()) return;
    level_->workdir = cutText(dir.toStdString(), 255);
    Label18->setText(QString::fromStdString(level_->workdir));
}
