#pragma once

#include <QCoro/QCoroTask>
#include <QEventLoop>

#include <exception>
#include <optional>
#include <type_traits>

// Runs a task to completion in a nested event loop and returns its result or
// rethrows its exception (QCoro::waitFor loses exceptions).
template<class T> T awaitTask(QCoro::Task<T> task)
{
    QEventLoop loop;
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> result {};
    std::exception_ptr error;
    bool done = false;
    auto runner = [&]() -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>)
                co_await std::move(task);
            else
                result.emplace(co_await std::move(task));
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    auto running = runner();
    if (!done)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}
