#include "app/file_list_model.h"

#include <QFile>
#include <QFont>

#include "app/translations.h"
#include "jobs/stream_choice.h"

namespace fennick {

namespace {

Qt::Alignment AlignmentOf(int column) {
  return ListColumns[column].Alignment == TColumnAlignment::Left ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter;
}

// The first column's text: the file name, then its folder, so that what a
// narrow column cuts is the folder, never the name.
QString NameFirst(const QString& path) {
  const qsizetype slash = path.lastIndexOf(u'/');
  if (slash < 0 || slash == path.size() - 1) return path;
  const QString folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
  return QStringLiteral("%1 (%2)").arg(path.mid(slash + 1), folder);
}

}  // namespace

TFileListModel::TFileListModel(TFileList& list, QObject* parent) : QAbstractTableModel(parent), FList(list) {
  TFileListListener listener;
  listener.BeforeInsert = [this](int row) { beginInsertRows(QModelIndex(), row, row); };
  listener.AfterInsert = [this] { endInsertRows(); };
  listener.BeforeRemove = [this](int row) { beginRemoveRows(QModelIndex(), row, row); };
  listener.AfterRemove = [this] { endRemoveRows(); };
  listener.BeforeReset = [this] { beginResetModel(); };
  listener.AfterReset = [this] { endResetModel(); };
  listener.RowChanged = [this](int row) { emit dataChanged(index(row, 0), index(row, ListColumnCount - 1)); };
  FList.SetListener(std::move(listener));
}

TFileListModel::~TFileListModel() { FList.SetListener({}); }

int TFileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FList.Count(); }

int TFileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ListColumnCount; }

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= FList.Count()) return {};
  const TFileRow& row = FList.Row(index.row());
  const auto column = static_cast<TListColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      if (column == ColFileName) return NameFirst(QFile::decodeName(row.Caption.c_str()));
      // The row's state ("Done", "Fail" ...) in the window's language; the
      // list and the saved queue keep it in English.
      if (column == ColProgress) return DisplayText(row.Cell(column));
      return QString::fromStdString(row.Cell(column));
    case Qt::FontRole: {
      // Settings pinned on the row: its format in italics.
      if (column != ColOutput || !FList.Pinned(index.row())) return {};
      QFont font;
      font.setItalic(true);
      return font;
    }
    case Qt::ToolTipRole: {
      // A source of several audio tracks: the one its job converts.
      QString track;
      if (row.AudioTracks.size() > 1) {
        const int chosen = FList.AudioTrack(index.row());
        track = tr("Audio Track %1").arg(QString::fromStdString(AudioTrackText(row.AudioTracks[chosen], chosen + 1)));
      }
      if (column == ColFileName)
        return QFile::decodeName(row.Caption.c_str()) + (track.isEmpty() ? QString() : QStringLiteral("\n") + track);
      if (column == ColProgress && !row.ProgressTip.empty()) {
        // A failure's whole story is in the row's log.
        const QString tip = QString::fromStdString(row.ProgressTip);
        return row.Cell(ColProgress) == "Fail" ? tip + QStringLiteral("\n") + tr("The row's menu: Show Log") : tip;
      }
      if (column == ColOutput) {
        // The output's whole path once it is written; before, its expected
        // size.
        const TQueuedJob* job = FList.Queue().Find(row.Id);
        if (job && !job->OutputPath.empty()) return QFile::decodeName(job->OutputPath.c_str());
        if (const std::string size = ExpectedSize ? ExpectedSize(index.row()) : std::string(); !size.empty())
          return tr("Expected size: about %1").arg(QString::fromStdString(size));
      }
      return track.isEmpty() ? QVariant() : QVariant(track);
    }
    case Qt::CheckStateRole:
      return column == ColFileName ? QVariant(row.Checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(AlignmentOf(column));
    default:
      return {};
  }
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ListColumnCount) return {};
  if (role == Qt::DisplayRole) return DisplayText(ListColumns[section].Caption);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(AlignmentOf(section));
  return {};
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == ColFileName) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

bool TFileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.column() != ColFileName) return false;
  const bool checked = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
  if (OnCheck)
    OnCheck(index.row(), checked);
  else
    FList.SetChecked(index.row(), checked);
  return true;
}

}  // namespace fennick
