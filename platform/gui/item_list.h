// The items of a combo box or list box, with what makes their searches cheap on long lists:
// an exact search that does not compare every item, and a sorted insert that bisects while
// the items stand in order. Results are those of the plain search over every item.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace murmel::gui {

class ItemList {
 public:
  const QStringList& items() const { return items_; }
  int count() const { return static_cast<int>(items_.size()); }

  void Insert(int at, const QString& text);
  void Remove(int at);
  void Clear();

  // The first item after `start_after` (-1: from the top) that begins with `text` ignoring
  // case, wrapping round to the items before it; -1 when none does.
  int FindPrefix(int start_after, const QString& text) const;
  // The first item after `start_after` (-1: from the top) equal to `text` ignoring case,
  // wrapping round to the items before it; -1 when none is.
  int FindExact(int start_after, const QString& text);
  // Where a sorted list inserts `text`: before the first item that sorts after it.
  int SortedInsertIndex(const QString& text) const;

 private:
  bool InOrderAt(int at) const;
  void RebuildIndex();

  QStringList items_;
  // Items by their case-folded text, each with its positions in ascending order. Appends
  // keep it; any other change marks it stale until the next exact search.
  QHash<QString, std::vector<int>> positions_;
  bool positions_stale_ = false;
  // Whether each item sorts at or after the one before it.
  bool ordered_ = true;
};

}  // namespace murmel::gui
