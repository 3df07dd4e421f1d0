#include "browser/SequenceModel.h"

#include "browser/BrowserArt.h"
#include "sequence/PlayList.h"
#include "sequence/Sequence.h"

namespace {
const char* const kColumns[] = {"Sequence", "Length", "Step size"};
}  // namespace

void CKaSequenceModel::SetSequences(std::vector<const CRvSequence*> sequences) {
  beginResetModel();
  m_rows = std::move(sequences);
  endResetModel();
}

const CRvSequence* CKaSequenceModel::SequenceAt(int row) const {
  return row >= 0 && std::size_t(row) < m_rows.size() ? m_rows[std::size_t(row)] : nullptr;
}

int CKaSequenceModel::RowOf(const CRvSequence* sequence) const {
  for (std::size_t i = 0; i < m_rows.size(); ++i)
    if (m_rows[i] == sequence) return int(i);
  return -1;
}

int CKaSequenceModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(m_rows.size());
}

int CKaSequenceModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

QVariant CKaSequenceModel::data(const QModelIndex& index, int role) const {
  const CRvSequence* sequence = SequenceAt(index.row());
  if (!sequence) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    std::string text;
    switch (index.column()) {
      case 0:
        text = sequence->GetDisplayName();
        break;
      case 1:
        text = sequence->GetLengthText();
        break;
      case 2:
        text = sequence->GetStepText();
        break;
      default:
        return {};
    }
    if (text.size() > std::size_t(kTextLimit)) text.resize(std::size_t(kTextLimit));
    return QString::fromLocal8Bit(text);
  }
  if (role == Qt::DecorationRole && index.column() == 0) {
    static const QIcon single = KaListIconSet(kKaImageSingleFile);
    static const QIcon numbered = KaListIconSet(kKaImageSequence);
    return sequence->GetFrameCount() > 1 ? numbered : single;
  }
  return {};
}

QVariant CKaSequenceModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 2)
    return {};
  return QString::fromLatin1(kColumns[section]);
}

void FillListControl(const CRvPlayList* playList, CKaSequenceModel* model) {
  std::vector<const CRvSequence*> rows;
  if (playList)
    for (const auto& sequence : playList->GetSequences()) rows.push_back(sequence.get());
  model->SetSequences(std::move(rows));
}
