#include "app/file_list.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

const QString topLevel = QStringLiteral("/");

QString withTrailingSeparator(QString path) {
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

}  // namespace

FileListModel::FileListModel(QObject* parent) : QFileSystemModel(parent) {
    setReadOnly(true);
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        switch (section) {
            case 0: return QStringLiteral("Name");
            case 1: return QStringLiteral("Size");
            case 2: return QStringLiteral("Type");
            case 3: return QStringLiteral("Modified");
            default: break;
        }
    }
    return QFileSystemModel::headerData(section, orientation, role);
}

FileList::FileList(QWidget* parent) : QTableView(parent), files(new FileListModel(this)) {
    setModel(files);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setShowGrid(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    setColumnWidth(0, 130);
    setColumnWidth(1, 55);
    setColumnWidth(2, 60);
    setColumnWidth(3, 110);
    enterFolder(topLevel);
}

void FileList::enterFolder(const QString& path) {
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    folder = withTrailingSeparator(clean);
    // The way up is offered everywhere but at the top level.
    QDir::Filters filters = QDir::AllEntries | QDir::AllDirs | QDir::NoDot;
    if (clean == topLevel) filters |= QDir::NoDotDot;
    files->setFilter(filters);
    setRootIndex(files->setRootPath(clean));
    // The current entry belonged to the folder left behind: typing a name
    // would search that folder, and Enter would activate an entry not shown.
    setCurrentIndex(QModelIndex());
    clearSelection();
}

bool FileList::showsEntry(const QModelIndex& index) const {
    return index.isValid() && index.parent() == rootIndex();
}

void FileList::goUp() {
    if (folder == topLevel) return;
    enterFolder(folder + QStringLiteral(".."));
}

QString FileList::entryName(const QModelIndex& index) const {
    return files->fileName(index.siblingAtColumn(0));
}

bool FileList::entryIsFolder(const QModelIndex& index) const {
    return files->isDir(index.siblingAtColumn(0));
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) {
        goUp();
        return;
    }
    QTableView::keyPressEvent(event);
}

void FileList::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit rightDoubleClicked();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}
