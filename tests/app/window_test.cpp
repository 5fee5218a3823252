// The window as tabled: geometry, kinds and texts of the controls, the file
// list, and the window driving the shell through its controls.
#include <gtest/gtest.h>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include "app/file_list.h"
#include "app/main_window.h"
#include "qt_application.h"
#include "shell_fakes.h"

using Calls = std::vector<std::string>;

namespace {

struct WindowTest : ::testing::Test {
    ShellLog log;
    Shell shell;
    std::unique_ptr<MainWindow> window;
    std::vector<std::pair<QString, QString>> errorBoxes;
    std::vector<int> quits;
    void SetUp() override {
        testApplication();
        shell.player = fakePlayer(log);
        window = std::make_unique<MainWindow>(shell);
        window->setErrorBox([this](const QString& title, const QString& text) { errorBoxes.emplace_back(title, text); });
        window->setQuit([this](int code) { quits.push_back(code); });
    }
    void TearDown() override {
        unloadModule(shell);
        window.reset();
    }
    FileList& list() { return *window->fileList(); }
    // Waits until the list shows its folder's entries, then finds one by name.
    QModelIndex entry(const QString& name) {
        FileListModel& model = *list().fileModel();
        QModelIndex found;
        for (int wait = 0; wait < 200 && !found.isValid(); ++wait) {
            const QModelIndex root = list().rootIndex();
            for (int row = 0; row < model.rowCount(root); ++row)
                if (model.index(row, 0, root).data().toString() == name) found = model.index(row, 0, root);
            if (!found.isValid()) QTest::qWait(10);
        }
        return found;
    }
    void activateWithEnter(const QString& name) {
        const QModelIndex index = entry(name);
        ASSERT_TRUE(index.isValid()) << name.toStdString();
        list().setCurrentIndex(index);
        QTest::keyClick(&list(), Qt::Key_Return);
    }
    // Press, release, double-click, release, as a real double-click arrives.
    void doubleClick(Qt::MouseButton button, const QString& name) {
        const QPoint at = list().visualRect(entry(name)).center();
        QWidget* viewport = list().viewport();
        QTest::mousePress(viewport, button, {}, at);
        QTest::mouseRelease(viewport, button, {}, at);
        QTest::mouseDClick(viewport, button, {}, at);
        QTest::mouseRelease(viewport, button, {}, at);
    }
};

struct Tabled {
    int id, x, y, w, h;
};

}  // namespace

TEST_F(WindowTest, ControlsSitWhereTheTableSaysWithTheirTexts) {
    EXPECT_EQ(window->windowTitle(), QString(".Wembrastel V1.0"));
    EXPECT_EQ(window->minimumSize(), QSize(641, 226));
    EXPECT_EQ(window->maximumSize(), QSize(641, 226));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    const Tabled table[] = {{0, 10, 40, 320, 180}, {1, 340, 140, 290, 80}, {2, 10, 10, 620, 20},
                            {3, 350, 50, 80, 20},  {4, 350, 73, 260, 20},  {5, 350, 93, 150, 20},
                            {6, 340, 34, 290, 102}, {7, 490, 118, 140, 14}};
    for (const Tabled& t : table) {
        QWidget* control = window->control(t.id);
        ASSERT_NE(control, nullptr) << t.id;
        EXPECT_EQ(control->parentWidget(), window.get()) << t.id;
        EXPECT_EQ(control->geometry(), QRect(t.x, t.y, t.w, t.h)) << t.id;
    }
    EXPECT_NE(qobject_cast<FileList*>(window->control(0)), nullptr);
    auto* stop = qobject_cast<QPushButton*>(window->control(1));
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(stop->text(), QString("Stop"));
    auto* path = qobject_cast<QLineEdit*>(window->control(2));
    ASSERT_NE(path, nullptr);
    EXPECT_TRUE(path->isReadOnly());
    EXPECT_TRUE(path->text().isEmpty());
    auto* frame = qobject_cast<QGroupBox*>(window->control(6));
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->title().isEmpty());

    auto* title = qobject_cast<QLabel*>(window->control(3));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QString(".Wembrastel V1.0"));
    EXPECT_TRUE(title->alignment() & Qt::AlignHCenter);
    for (int id : {4, 5, 7}) {
        auto* line = qobject_cast<QLabel*>(window->control(id));
        ASSERT_NE(line, nullptr) << id;
        EXPECT_TRUE(line->alignment() & Qt::AlignLeft) << id;
        // Every line fits its box, so nothing is cut off on screen.
        QTextDocument plain;
        plain.setHtml(line->text());
        const QString text = plain.toPlainText();
        EXPECT_FALSE(text.isEmpty()) << id;
        EXPECT_LE(QFontMetrics(line->font()).horizontalAdvance(text), line->width()) << id;
    }
    EXPECT_LE(QFontMetrics(title->font()).horizontalAdvance(title->text()), title->width());
    auto* link = qobject_cast<QLabel*>(window->control(5));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link->textInteractionFlags(), Qt::NoTextInteraction);  // no action
    EXPECT_EQ(link->palette().color(QPalette::Highlight), QColor(Qt::black));
}

TEST_F(WindowTest, OpensCentredAndCannotBeResized) {
    window->centreOnScreen();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QRect screen = window->screen()->availableGeometry();
    const QRect frame = window->geometry();  // the client area
    EXPECT_LE(std::abs((frame.left() - screen.left()) - (screen.right() - frame.right())), 1)
        << frame.left() << " " << frame.right() << " " << screen.left() << " " << screen.right();
    EXPECT_LE(std::abs((frame.top() - screen.top()) - (screen.bottom() - frame.bottom())), 1)
        << frame.top() << " " << frame.bottom() << " " << screen.top() << " " << screen.bottom();
    window->resize(800, 400);
    EXPECT_EQ(window->size(), QSize(641, 226));
}

TEST_F(WindowTest, FileListShowsOneFolderInReportMode) {
    FileList& files = list();
    EXPECT_EQ(files.folderPath(), QString("/"));
    const QStringList columns = {"Name", "Size", "Type", "Modified"};
    for (int c = 0; c < columns.size(); ++c)
        EXPECT_EQ(files.model()->headerData(c, Qt::Horizontal).toString(), columns[c]);
    EXPECT_TRUE(files.showGrid());
    EXPECT_EQ(files.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(files.frameShadow(), QFrame::Sunken);
    // No way up from the top level, once the entries are there.
    for (int wait = 0; wait < 200 && files.model()->rowCount(files.rootIndex()) == 0; ++wait) QTest::qWait(10);
    ASSERT_GT(files.model()->rowCount(files.rootIndex()), 0);
    for (int row = 0; row < files.model()->rowCount(files.rootIndex()); ++row)
        EXPECT_NE(files.model()->index(row, 0, files.rootIndex()).data().toString(), QString(".."));

    TempFolder folder("wb-list");
    folder.file("inner/song.q7m", "module");
    files.enterFolder(QString::fromStdString(folder.path.string()));
    EXPECT_EQ(files.folderPath(), QString::fromStdString(folder.folder()));
    EXPECT_TRUE(entry("inner").isValid());
    // Activating a folder enters it; ".." and Backspace go up.
    activateWithEnter("inner");
    EXPECT_EQ(files.folderPath(), QString::fromStdString(folder.folder() + "inner/"));
    EXPECT_TRUE(entry("song.q7m").isValid());
    activateWithEnter("..");
    EXPECT_EQ(files.folderPath(), QString::fromStdString(folder.folder()));
    files.enterFolder(QString::fromStdString(folder.folder() + "inner"));
    QTest::keyClick(&files, Qt::Key_Backspace);
    EXPECT_EQ(files.folderPath(), QString::fromStdString(folder.folder()));
    EXPECT_TRUE(log.calls.empty());  // nothing was a module
}

TEST_F(WindowTest, ListButtonAndCloseDriveTheShell) {
    TempFolder folder("wb-window");
    const std::string song = folder.file("song.Q7M", "module");
    folder.file("notes.txt", "text");
    folder.file("sub/other.q7m", "x");
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    list().enterFolder(QString::fromStdString(folder.path.string()));
    QLineEdit& path = *window->pathBox();

    activateWithEnter("song.Q7M");
    EXPECT_EQ(log.calls, (Calls{"open 6", "play"}));
    EXPECT_EQ(path.text().toStdString(), song);

    // A right double-click stops like the Stop button.
    log.calls.clear();
    doubleClick(Qt::RightButton, "notes.txt");
    EXPECT_EQ(log.calls, (Calls{"stop", "close"}));
    EXPECT_TRUE(path.text().isEmpty());

    // A left double-click plays; Stop stops.
    log.calls.clear();
    doubleClick(Qt::LeftButton, "song.Q7M");
    EXPECT_EQ(log.calls, (Calls{"open 6", "play"}));
    QTest::mouseClick(window->stopButton(), Qt::LeftButton);
    EXPECT_EQ(log.calls, (Calls{"open 6", "play", "stop", "close"}));

    // A folder while playing: stopped first, then entered.
    activateWithEnter("song.Q7M");
    log.calls.clear();
    activateWithEnter("sub");
    EXPECT_EQ(log.calls, (Calls{"stop", "close"}));
    EXPECT_TRUE(path.text().isEmpty());
    EXPECT_EQ(list().folderPath().toStdString(), folder.folder() + "sub/");

    // Closing ends the shell (what that unloads: the shell's tests).
    window->close();
    EXPECT_EQ(quits, std::vector<int>{0});
}

// Typing a name searches the folder shown, never the one left behind, so the
// path played is always that folder plus the entry the user sees.
TEST_F(WindowTest, TypedNamesSearchTheFolderShown) {
    TempFolder folder("wb-typed");
    std::filesystem::create_directories(folder.path / "G");
    const std::string module = folder.file("F/aaa.q7m", "module");
    list().enterFolder(QString::fromStdString(folder.path.string()));
    activateWithEnter("F");
    ASSERT_TRUE(entry("aaa.q7m").isValid());
    QTest::keyClicks(&list(), "G");  // an entry of the folder above, not of F
    QTest::keyClick(&list(), Qt::Key_Return);
    EXPECT_EQ(list().folderPath().toStdString(), folder.folder() + "F/");
    activateWithEnter("aaa.q7m");
    EXPECT_EQ(shell.currentPath, module);
    EXPECT_TRUE(shell.moduleLoaded);
}
