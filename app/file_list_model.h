// The file list as Qt's item model, for the window's list view: the rows of
// a TFileList, the check box in the first column, the captions and
// alignment of the seven columns. The first column shows the file name and
// then its folder ("clip.mp4 (/home/anna/Videos)"), the full path as its
// tip. Read-only except for the check boxes, whose changes go to the given
// handler.
#pragma once

#include <QAbstractTableModel>

#include <functional>

#include "app/file_list.h"

namespace fennick {

class TFileListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // list must outlive the model; the model becomes its listener.
  explicit TFileListModel(TFileList& list, QObject* parent = nullptr);
  ~TFileListModel() override;

  // Called when the user changes a row's check box.
  std::function<void(int row, bool checked)> OnCheck;
  // The row's expected output size as shown ("12.3 MB"), empty when the
  // settings give no rate; shown in the Output cell's tip.
  std::function<std::string(int row)> ExpectedSize;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 private:
  TFileList& FList;
};

}  // namespace fennick
