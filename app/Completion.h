#pragma once

#include <QFuture>
#include <QPromise>
#include <memory>

// The promise behind the future an action returns: finished once the whole action is done.
namespace Completion {

using Done = std::shared_ptr<QPromise<void>>;

[[nodiscard]] inline Done make()
{
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    return done;
}

// A future that is finished already.
[[nodiscard]] inline QFuture<void> finished()
{
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

} // namespace Completion
