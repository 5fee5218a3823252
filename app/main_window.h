#pragma once
// The program's one fixed window: the file list, the path box, the Stop
// button and the credits, wired to the shell.
#include <functional>
#include <QString>
#include <QWidget>
#include "app/shell.h"

class FileList;
class QLineEdit;
class QPushButton;

constexpr int windowClientWidth = 641;
constexpr int windowClientHeight = 226;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(Shell& shell, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Control number id (0 to 7), or null.
    QWidget* control(int id) const;
    FileList* fileList() const { return list; }
    QLineEdit* pathBox() const { return path; }
    QPushButton* stopButton() const { return stop; }

    void centreOnScreen();
    // The "Error" box and the end of the program; tests put stand-ins here
    // so that nothing blocks and the test process goes on.
    void setErrorBox(std::function<void(const QString& title, const QString& text)> box);
    void setQuit(std::function<void(int exitCode)> quit);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void bindShell();
    void entryActivated(const QModelIndex& index);

    Shell& shell;
    FileList* list = nullptr;
    QPushButton* stop = nullptr;
    QLineEdit* path = nullptr;
    QWidget* controls[8] = {};
    std::function<void(const QString&, const QString&)> errorBox;
    std::function<void(int)> quitProgram;
};

// Draws the window into an image file (used for the documentation's picture).
bool saveWindowImage(QWidget& window, const QString& file);
