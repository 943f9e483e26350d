#pragma once
// An argument-less event: the `Change` of the settings files and of the lists.
//
// Handlers run in the order they subscribed, on the caller's thread. A handler may
// subscribe or unsubscribe others (or itself), or release the object that raised the
// event: Raise works on a copy of the handler list and touches nothing afterwards.

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace MiscFuncs {

class ChangeEvent {
public:
    using Handler = std::function<void()>;
    using Token = std::size_t;

    // Returns a token for Unsubscribe; tokens are never 0 and never reused.
    Token Subscribe(Handler handler) {
        handlers_.emplace_back(++lastToken_, std::move(handler));
        return lastToken_;
    }

    void Unsubscribe(Token token) {
        for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
            if (it->first == token) {
                handlers_.erase(it);
                return;
            }
        }
    }

    void Raise() const {
        const auto copy = handlers_;
        for (const auto& entry : copy)
            if (entry.second) entry.second();
    }

    std::size_t HandlerCount() const { return handlers_.size(); }

private:
    std::vector<std::pair<Token, Handler>> handlers_;
    Token lastToken_ = 0;
};

}  // namespace MiscFuncs
