#include <doctest/doctest.h>

#include "base/scope.h"

#include <stdexcept>
#include <string>
#include <vector>

TEST_CASE("a scope guard undoes its pair on every way out, last set first undone") {
    std::vector<std::string> log;
    const auto pairOf = [&](bool raise) {
        log.push_back("redraw off");
        const ScopeExit redrawOn([&] { log.push_back("redraw on"); });
        log.push_back("dc taken");
        const ScopeExit dcBack([&] { log.push_back("dc released"); });
        if (raise) throw std::runtime_error("insert failed");
        log.push_back("filled");
    };
    pairOf(false);
    CHECK(log == std::vector<std::string>{"redraw off", "dc taken", "filled", "dc released", "redraw on"});
    log.clear();
    CHECK_THROWS_AS(pairOf(true), std::runtime_error);
    CHECK(log == std::vector<std::string>{"redraw off", "dc taken", "dc released", "redraw on"});
}

TEST_CASE("a scoped value holds for the scope and is restored, also after an exception") {
    bool loading = false;
    {
        const ScopedValue guard(loading, true);
        CHECK(loading);
    }
    CHECK_FALSE(loading);
    try {
        const ScopedValue guard(loading, true);
        throw std::runtime_error("fill failed");
    } catch (const std::runtime_error&) {
        CHECK_FALSE(loading);
    }
    // Nested: the inner one gives back what the outer one set.
    int depth = 0;
    {
        const ScopedValue outer(depth, 1);
        {
            const ScopedValue inner(depth, 2);
            CHECK(depth == 2);
        }
        CHECK(depth == 1);
    }
    CHECK(depth == 0);
}
