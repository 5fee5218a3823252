#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include "app/file_list.h"

namespace {

const QString windowTitleText = QStringLiteral(".Wembrastel V1.0");
const QString programCredits = QStringLiteral("Wembrastel, written by the Wembrastel authors");
const QString projectAddress = QStringLiteral("wembrastel.example.org");
const QString synthCredits = QStringLiteral("Synthesizer: the Wembrastel team");
constexpr int windowFontPixels = 11;
constexpr int smallestFontPixels = 8;
// How often the window asks whether the sound device is still there.
constexpr int deviceWatchMs = 250;

// The lines have fixed boxes: a font that does not fit shrinks until it does.
void fitText(QLabel* label, const QString& plainText) {
    QFont font = label->font();
    for (int pixels = windowFontPixels; pixels >= smallestFontPixels; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(plainText) <= label->width() && metrics.height() <= label->height()) break;
    }
    label->setFont(font);
}

void place(QWidget* widget, int id, const char* name, int x, int y, int w, int h) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setProperty("controlId", id);
    widget->setGeometry(x, y, w, h);
}

QLabel* staticText(QWidget* parent, const QString& text, Qt::Alignment alignment) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

// Looks like a link (hand pointer, underlined, black) but does nothing.
QLabel* linkText(QWidget* parent, const QString& text) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"#\" style=\"color:black\">%1</a>").arg(text.toHtmlEscaped()));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setOpenExternalLinks(false);
    label->setCursor(Qt::PointingHandCursor);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Link, Qt::black);
    palette.setColor(QPalette::LinkVisited, Qt::black);
    palette.setColor(QPalette::Highlight, Qt::black);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

}  // namespace

MainWindow::MainWindow(Shell& shellState, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      shell(shellState) {
    setWindowTitle(windowTitleText);
    setFixedSize(windowClientWidth, windowClientHeight);
    QFont windowFont = font();
    windowFont.setPixelSize(windowFontPixels);
    setFont(windowFont);
    createControls();
    errorBox = [this](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
        box.exec();
    };
    // Queued, so that it also ends an event loop that has not started yet.
    quitProgram = [](int exitCode) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [exitCode] { QCoreApplication::exit(exitCode); },
            Qt::QueuedConnection);
    };
    bindShell();
}

MainWindow::~MainWindow() { shell.view = ShellView(); }

void MainWindow::createControls() {
    // The frame first, so that the lines it frames are drawn over it.
    auto* frame = new QGroupBox(QString(), this);
    place(frame, 6, "creditsFrame", 340, 34, 290, 102);

    list = new FileList(this);
    place(list, 0, "fileList", 10, 40, 320, 180);

    stop = new QPushButton(QStringLiteral("Stop"), this);
    place(stop, 1, "stopButton", 340, 140, 290, 80);

    path = new QLineEdit(this);
    path->setReadOnly(true);
    place(path, 2, "pathBox", 10, 10, 620, 20);

    QLabel* title = staticText(this, windowTitleText, Qt::AlignHCenter);
    place(title, 3, "titleLine", 350, 50, 80, 20);
    QLabel* program = staticText(this, programCredits, Qt::AlignLeft);
    place(program, 4, "programCredits", 350, 73, 260, 20);
    QLabel* link = linkText(this, projectAddress);
    place(link, 5, "projectLink", 350, 93, 150, 20);
    QLabel* synth = staticText(this, synthCredits, Qt::AlignLeft);
    place(synth, 7, "synthCredits", 490, 118, 140, 14);
    fitText(title, windowTitleText);
    fitText(program, programCredits);
    fitText(link, projectAddress);
    fitText(synth, synthCredits);

    QWidget* byId[8] = {list, stop, path, title, program, link, frame, synth};
    std::copy(std::begin(byId), std::end(byId), std::begin(controls));

    connect(stop, &QPushButton::clicked, this, [this] { shellStop(shell); });
    connect(list, &FileList::rightDoubleClicked, this, [this] { shellStop(shell); });
    connect(list, &QAbstractItemView::activated, this, &MainWindow::entryActivated);

    auto* deviceWatch = new QTimer(this);
    connect(deviceWatch, &QTimer::timeout, this, [this] { shellCheckDevice(shell); });
    deviceWatch->start(deviceWatchMs);
}

void MainWindow::bindShell() {
    shell.view.context = this;
    shell.view.setPathText = [](void* context, const std::string& text) {
        static_cast<MainWindow*>(context)->path->setText(QString::fromStdString(text));
    };
    shell.view.showError = [](void* context, const std::string& title, const std::string& text) {
        static_cast<MainWindow*>(context)->errorBox(QString::fromStdString(title), QString::fromStdString(text));
    };
    shell.view.quit = [](void* context, int exitCode) { static_cast<MainWindow*>(context)->quitProgram(exitCode); };
}

void MainWindow::entryActivated(const QModelIndex& index) {
    const QString folder = list->folderPath();
    const QString name = list->entryName(index);
    const bool isFolder = list->entryIsFolder(index);
    shellActivate(shell, folder.toStdString(), name.toStdString());
    // The list moves only after the shell has unloaded what was playing.
    if (isFolder && !shell.ending) list->enterFolder(folder + name);
}

QWidget* MainWindow::control(int id) const { return id >= 0 && id < 8 ? controls[id] : nullptr; }

void MainWindow::centreOnScreen() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    // The client area is centred: the frame is not known before the window is shown.
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void MainWindow::setErrorBox(std::function<void(const QString&, const QString&)> box) { errorBox = std::move(box); }

void MainWindow::setQuit(std::function<void(int)> quit) { quitProgram = std::move(quit); }

void MainWindow::closeEvent(QCloseEvent* event) {
    shellEnd(shell);  // stops and frees the module before the program goes
    event->accept();
}

bool saveWindowImage(QWidget& window, const QString& file) { return window.grab().save(file, "PNG"); }
