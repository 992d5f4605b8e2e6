// A small D-Bus service for the bridge tests: org.zettrix.Test with a
// calculator object that has methods of every argument kind, properties, an
// enumeration and a method that never answers, and a node with children.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>

#include <cstdio>

class CCalc : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zettrix.Test.Calc")
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(int Count READ Count)
    Q_PROPERTY(double Ratio READ Ratio WRITE SetRatio)

public:
    QString Name() const { return name_; }
    void SetName(const QString& n) { name_ = n; }
    int Count() const { return 3; }
    double Ratio() const { return ratio_; }
    void SetRatio(double r) { ratio_ = r; }

public slots:
    int Add(int a, int b) { return a + b; }
    QString Concat(const QString& a, const QString& b) { return a + b; }
    bool Negate(bool b) { return !b; }
    qulonglong Big() { return 18446744073709551615ull; }
    double Sum(const QList<double>& values) {
        double s = 0;
        for (double v : values) s += v;
        return s;
    }
    QDBusVariant Echo(const QDBusVariant& v) { return v; }
    QString Signature(const QDBusVariant& v) {
        // The signature the argument arrived with.
        return message().signature();
    }
    QList<QList<int>> Matrix(int rows, int cols) {
        QList<QList<int>> m;
        for (int r = 0; r < rows; ++r) {
            QList<int> row;
            for (int c = 0; c < cols; ++c) row << r * 10 + c;
            m << row;
        }
        return m;
    }
    QList<QList<int>> Transpose(const QList<QList<int>>& m) {
        QList<QList<int>> t;
        for (int c = 0; !m.isEmpty() && c < m[0].size(); ++c) {
            QList<int> row;
            for (const QList<int>& r : m) row << r.value(c);
            t << row;
        }
        return t;
    }
    QList<QList<QList<int>>> Deep() { return {{{1}}}; }
    QStringList Items() { return {QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")}; }
    QString Item(int i) { return Items().value(i, QStringLiteral("none")); }
    QString Split(const QString& s, QString& second) {
        const int at = int(s.indexOf(QLatin1Char(':')));
        second = s.mid(at + 1);
        return s.left(at);
    }
    QDBusObjectPath Node() { return QDBusObjectPath(QStringLiteral("/Nodes/first")); }
    QByteArray Bytes() { return QByteArray("\x01\xff", 2); }
    void Fail() { sendErrorReply(QStringLiteral("org.zettrix.Test.Error.Broken"), QStringLiteral("it broke")); }
    void Hang() { setDelayedReply(true); }  // never answered
    void Quit() { QCoreApplication::quit(); }

private:
    QString name_ = QStringLiteral("calc");
    double ratio_ = 0.5;
};

class CNode : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zettrix.Test.Node")
    Q_PROPERTY(QString Label READ Label)
public:
    explicit CNode(QString label) : label_(std::move(label)) {}
    QString Label() const { return label_; }

private:
    QString label_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<QList<double>>();
    qDBusRegisterMetaType<QList<int>>();
    qDBusRegisterMetaType<QList<QList<int>>>();
    qDBusRegisterMetaType<QList<QList<QList<int>>>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    CCalc calc;
    CNode first(QStringLiteral("First")), second(QStringLiteral("Second"));
    const auto flags = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties;
    if (!bus.registerObject(QStringLiteral("/Calc"), &calc, flags) ||
        !bus.registerObject(QStringLiteral("/Nodes/first"), &first, flags) ||
        !bus.registerObject(QStringLiteral("/Nodes/second"), &second, flags) ||
        !bus.registerService(QStringLiteral("org.zettrix.Test"))) {
        std::fprintf(stderr, "dbus_test_service: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "dbus_test_service.moc"
