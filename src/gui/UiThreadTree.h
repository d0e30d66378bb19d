#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <type_traits>

#include "browser/TreeControl.h"

namespace talvix::gui {

// The tree as a worker reaches it: each call runs on the thread of `uiObject` (the
// user-interface thread) while the worker waits, so the tree and its views are only ever
// touched there. A call made on that thread runs at once.
//
// The UI thread must not wait for the worker (join it) while the worker may still call in,
// and `uiObject` and the tree must outlive the worker.
class UiThreadTree : public TreeControl {
 public:
  UiThreadTree(TreeControl& tree, QObject* uiObject) : tree_(tree), ui_(uiObject) {}

  void InitCheckTree() override {
    call([&] { tree_.InitCheckTree(); });
  }
  void SetSmartCheckBox(bool on) override {
    call([&] { tree_.SetSmartCheckBox(on); });
  }
  void SetReadOnly(bool on) override {
    call([&] { tree_.SetReadOnly(on); });
  }
  TreeItem InsertItem(TreeItem parent, std::string_view text, int image,
                      int selectedImage) override {
    return call([&] { return tree_.InsertItem(parent, text, image, selectedImage); });
  }
  TreeItem InsertSeparator(TreeItem parent) override {
    return call([&] { return tree_.InsertSeparator(parent); });
  }
  bool DeleteItem(TreeItem item) override {
    return call([&] { return tree_.DeleteItem(item); });
  }
  void DeleteAllItems() override {
    call([&] { tree_.DeleteAllItems(); });
  }
  bool GetCheck(TreeItem item) const override {
    return call([&] { return tree_.GetCheck(item); });
  }
  void SetCheck(TreeItem item, bool checked) override {
    call([&] { tree_.SetCheck(item, checked); });
  }
  void EnableItem(TreeItem item, bool enabled) override {
    call([&] { tree_.EnableItem(item, enabled); });
  }
  void MarkDeleted(TreeItem item) override {
    call([&] { tree_.MarkDeleted(item); });
  }
  std::string GetItemText(TreeItem item) const override {
    return call([&] { return tree_.GetItemText(item); });
  }
  bool SetItemText(TreeItem item, std::string_view text) override {
    return call([&] { return tree_.SetItemText(item, text); });
  }
  ItemData GetItemData(TreeItem item) const override {
    return call([&] { return tree_.GetItemData(item); });
  }
  bool SetItemData(TreeItem item, ItemData data) override {
    return call([&] { return tree_.SetItemData(item, data); });
  }
  int GetItemImage(TreeItem item) const override {
    return call([&] { return tree_.GetItemImage(item); });
  }
  TreeItem GetRootItem() const override {
    return call([&] { return tree_.GetRootItem(); });
  }
  TreeItem GetChildItem(TreeItem item) const override {
    return call([&] { return tree_.GetChildItem(item); });
  }
  TreeItem GetNextSiblingItem(TreeItem item) const override {
    return call([&] { return tree_.GetNextSiblingItem(item); });
  }
  TreeItem GetParentItem(TreeItem item) const override {
    return call([&] { return tree_.GetParentItem(item); });
  }
  bool ItemHasChildren(TreeItem item) const override {
    return call([&] { return tree_.ItemHasChildren(item); });
  }
  bool Expand(TreeItem item, TreeExpand code) override {
    return call([&] { return tree_.Expand(item, code); });
  }

 private:
  template <typename F>
  auto call(F&& f) const -> std::invoke_result_t<F> {
    using Result = std::invoke_result_t<F>;
    if (QThread::currentThread() == ui_->thread()) return f();
    if constexpr (std::is_void_v<Result>) {
      QMetaObject::invokeMethod(ui_, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
      Result result{};
      QMetaObject::invokeMethod(ui_, std::forward<F>(f), Qt::BlockingQueuedConnection, &result);
      return result;
    }
  }

  TreeControl& tree_;
  QObject* ui_;
};

}  // namespace talvix::gui
