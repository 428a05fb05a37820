#pragma once
// A registry for tests: keys and typed values put in by the test, keys that cannot be opened,
// and a record of every key a query created.
#include "platform/registry.h"

#include <QHash>
#include <QList>
#include <QMap>

namespace platform {

class FakeRegistry : public Registry {
public:
    // Adds a key and the keys above it, as if they had been there all along.
    void addKey(RegistryRoot root, const QString& path);
    // Sets a value, adding its key when new.
    void setString(RegistryRoot root, const QString& path, const QString& name, const QString& text);
    void setExpandString(RegistryRoot root, const QString& path, const QString& name, const QString& text);
    void setMultiString(RegistryRoot root, const QString& path, const QString& name, const QStringList& texts);
    void setNumber(RegistryRoot root, const QString& path, const QString& name, quint32 number);
    // The key is there but the user may not open it with write access: it cannot be opened.
    void denyKey(RegistryRoot root, const QString& path);
    // Whether a query may create a missing key (the user's rights). Allowed by default.
    void setCreateAllowed(bool allowed) { m_createAllowed = allowed; }

    // Whether the key exists now.
    bool hasKey(RegistryRoot root, const QString& path) const;
    // The keys openKey created, in order, parents first, each as "HKEY_...\path".
    QStringList createdKeys() const { return m_created; }
    // Every openKey call, in order, as "HKEY_...\path".
    QStringList openRequests() const { return m_requests; }

    std::unique_ptr<RegistryKey> openKey(RegistryRoot root, const QString& path,
                                         bool createIfMissing) override;

private:
    struct Node {
        QString name;                          // as first spelled
        QHash<QString, RegistryValue> values;  // by lower-case name
        QStringList children;                  // lower-case full paths, in order of creation
        bool denied = false;
    };
    static QString Id(RegistryRoot root, const QString& path);
    Node& ensure(RegistryRoot root, const QString& path, QStringList* created);
    void set(RegistryRoot root, const QString& path, const QString& name, const RegistryValue& v);

    QMap<QString, Node> m_nodes;
    QStringList m_created;
    QStringList m_requests;
    bool m_createAllowed = true;
};

// Installs a FakeRegistry for its lifetime, then puts the Linux backend back.
class ScopedFakeRegistry {
public:
    ScopedFakeRegistry();
    ~ScopedFakeRegistry();
    ScopedFakeRegistry(const ScopedFakeRegistry&) = delete;
    ScopedFakeRegistry& operator=(const ScopedFakeRegistry&) = delete;

    FakeRegistry& operator*() const { return *m_fake; }
    FakeRegistry* operator->() const { return m_fake; }

private:
    FakeRegistry* m_fake;
};

}  // namespace platform
