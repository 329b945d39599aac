// A benchmark fixture that holds a window: made on first use, and ended with
// the application object, before which its window must go.
#pragma once

#include <QCoreApplication>
#include <memory>

template <class Fixture>
Fixture& windowFixture() {
    static std::unique_ptr<Fixture> fixture;
    if (!fixture) {
        fixture = std::make_unique<Fixture>();
        qAddPostRoutine([] { fixture.reset(); });
    }
    return *fixture;
}
