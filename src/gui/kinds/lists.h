// Grid and tree parts, for the commands that reach into them (row selection, tree paths).
#pragma once

#include <QObject>
#include <QTableWidget>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "gui/part.h"

namespace morivel::gui {

// The grid's first row is fixed: it is the table's horizontal header, so row 1 of a script is
// the table's row 0. Cells travel as CSV text.
class GridPart : public Part {
 public:
  explicit GridPart(const PartSetup& setup);
  QTableWidget* Table() const { return qobject_cast<QTableWidget*>(Widget()); }
  // Every cell, fixed row first, as CSV text; "" for a grid without columns.
  std::string Csv() const;
  void SetCsv(const std::string& csv);
  // Whole rows selected (and no cell editing) or single cells.
  void SetRowSelect(bool on);

  bool ClicksFromMouse() const override { return false; }
  std::vector<QWidget*> EventWidgets() const override;
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;
  void Deactivate() override;

 private:
  void SetEditing(bool on);
  void SetCurrentRow(int script_row);
  int CurrentRow() const;
  bool quiet_ = false;  // set while the script changes the cells
  bool editing_ = false;
  bool sorted_ = false;
  Qt::SortOrder order_ = Qt::AscendingOrder;
  QObject context_;
};

// A tree of captioned nodes addressed by paths: captions from the root down joined by "\".
class TreePart : public Part {
 public:
  explicit TreePart(const PartSetup& setup);
  ~TreePart() override;
  QTreeWidget* Tree() const { return qobject_cast<QTreeWidget*>(Widget()); }

  // The path of every node, in node order (parents before their children).
  std::vector<std::string> Paths() const;
  static std::string PathOf(const QTreeWidgetItem* node);
  // The first node, in node order, whose path is `path`; nullptr when none.
  QTreeWidgetItem* Find(const std::string& path) const;
  // Adds path lines: the captions of each line are walked from the root, reusing the nodes
  // whose path exists and adding the others. Pending events run before each line.
  void AddPaths(const std::string& lines);
  void Clear();

  bool ClicksFromMouse() const override { return false; }
  std::vector<QWidget*> EventWidgets() const override;
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;

 private:
  void SelectIndex(long long index);
  void SetEditing(bool on);
  bool quiet_ = false;  // set while the script rebuilds the tree
  bool editing_ = true;
  QObject context_;
  std::unique_ptr<QObject> click_watch_;
};

}  // namespace morivel::gui
