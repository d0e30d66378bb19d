#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <type_traits>
#include <utility>

namespace talvix::gui {

// Runs `f` on the thread of `ui` (the user-interface thread) and waits for it; a call made
// on that thread runs at once. The user-interface thread must never wait for a worker that
// may still call in here.
template <typename F>
auto onUiThread(QObject* ui, F&& f) -> std::invoke_result_t<F> {
  using Result = std::invoke_result_t<F>;
  if (QThread::currentThread() == ui->thread()) return f();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(ui, std::forward<F>(f), Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(ui, std::forward<F>(f), Qt::BlockingQueuedConnection, &result);
    return result;
  }
}

}  // namespace talvix::gui
