// GUI tests: answering a modal dialog once it shows.
#pragma once

#include <QApplication>
#include <QObject>
#include <QTimer>

#include <functional>

namespace zt::test {

// Runs `f` on the next modal dialog of type D once it shows.
template <class D> void OnNextModal(std::function<void(D*)> f) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            f(d);
        }
    });
    timer->start();
}

} // namespace zt::test
