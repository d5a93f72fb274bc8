#include "platform/gui/item_list.h"

#include <algorithm>

namespace murmel::gui {

namespace {

// Folded code point by code point, as the case-blind comparison folds them.
QString Folded(const QString& text) {
  QString folded;
  folded.reserve(text.size());
  for (const char32_t point : text.toUcs4()) {
    const char32_t fold = QChar::toCaseFolded(point);
    if (QChar::requiresSurrogates(fold)) {
      folded.append(QChar(QChar::highSurrogate(fold)));
      folded.append(QChar(QChar::lowSurrogate(fold)));
    } else {
      folded.append(QChar(static_cast<char16_t>(fold)));
    }
  }
  return folded;
}

int Compare(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive); }

}  // namespace

bool ItemList::InOrderAt(int at) const {
  return (at == 0 || Compare(items_.at(at - 1), items_.at(at)) <= 0) &&
         (at + 1 >= count() || Compare(items_.at(at), items_.at(at + 1)) <= 0);
}

void ItemList::Insert(int at, const QString& text) {
  const bool append = at == count();
  items_.insert(at, text);
  ordered_ = ordered_ && InOrderAt(at);
  if (!append) {
    positions_stale_ = true;
  } else if (!positions_stale_) {
    positions_[Folded(text)].push_back(at);
  }
}

void ItemList::Remove(int at) {
  items_.removeAt(at);
  positions_stale_ = true;
}

void ItemList::Clear() {
  items_.clear();
  positions_.clear();
  positions_stale_ = false;
  ordered_ = true;
}

void ItemList::RebuildIndex() {
  positions_.clear();
  for (int i = 0; i < count(); ++i) positions_[Folded(items_.at(i))].push_back(i);
  positions_stale_ = false;
}

int ItemList::FindPrefix(int start_after, const QString& text) const {
  if (start_after < -1 || start_after >= count()) start_after = -1;
  for (int step = 1; step <= count(); ++step) {
    const int index = (start_after + step) % count();
    if (items_.at(index).startsWith(text, Qt::CaseInsensitive)) return index;
  }
  return -1;
}

int ItemList::FindExact(int start_after, const QString& text) {
  if (positions_stale_) RebuildIndex();
  const auto found = positions_.constFind(Folded(text));
  if (found == positions_.constEnd()) return -1;
  const std::vector<int>& at = found.value();
  if (start_after < -1 || start_after >= count()) start_after = -1;
  const auto after = std::upper_bound(at.begin(), at.end(), start_after);
  return after != at.end() ? *after : at.front();
}

int ItemList::SortedInsertIndex(const QString& text) const {
  if (ordered_) {
    const auto after = std::upper_bound(
        items_.begin(), items_.end(), text,
        [](const QString& wanted, const QString& item) { return Compare(item, wanted) > 0; });
    return static_cast<int>(after - items_.begin());
  }
  int index = 0;
  while (index < count() && Compare(items_.at(index), text) <= 0) ++index;
  return index;
}

}  // namespace murmel::gui
