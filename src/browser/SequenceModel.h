// The rows of the browser's two sequence lists (the folder's sequences and the play list):
// columns "Sequence", "Length" and "Step size", their texts asked of the sequence when the view
// shows them, image 1 for a numbered sequence and 0 for a single file.
#pragma once

#include <QAbstractTableModel>
#include <vector>

class CRvSequence;
class CRvPlayList;

class CKaSequenceModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kTextLimit = 255;

  using QAbstractTableModel::QAbstractTableModel;

  void SetSequences(std::vector<const CRvSequence*> sequences);
  void Clear() { SetSequences({}); }
  const CRvSequence* SequenceAt(int row) const;
  int RowOf(const CRvSequence* sequence) const;
  const std::vector<const CRvSequence*>& Sequences() const { return m_rows; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<const CRvSequence*> m_rows;
};

// Shows the play list's sequences in play-list order.
void FillListControl(const CRvPlayList* playList, CKaSequenceModel* model);
