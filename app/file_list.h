#pragma once
// Control 0: one folder of the file system at a time in report mode (Name,
// Size, Type, Modified) with grid lines and single selection. Activating a
// folder entry enters it once the window has handled the activation; ".."
// and Backspace go up.
#include <QFileSystemModel>
#include <QString>
#include <QTableView>

class FileListModel : public QFileSystemModel {
    Q_OBJECT
public:
    explicit FileListModel(QObject* parent = nullptr);
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
};

class FileList : public QTableView {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    // The folder shown, always ending in a separator ("/" at the top level).
    QString folderPath() const { return folder; }
    void enterFolder(const QString& path);
    void goUp();
    // The name shown in the Name column of an entry (".." for the way up).
    QString entryName(const QModelIndex& index) const;
    bool entryIsFolder(const QModelIndex& index) const;
    // True for an entry of the folder shown (only those can be activated).
    bool showsEntry(const QModelIndex& index) const;
    FileListModel* fileModel() const { return files; }

signals:
    void rightDoubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    FileListModel* files;
    QString folder;
};
