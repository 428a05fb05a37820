#include "platform/fake/registry_fake.h"

namespace platform {
namespace {

QStringList Segments(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return p.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QString RootPrefix(RegistryRoot root)
{
    return root == RegistryRoot::LocalMachine ? QStringLiteral("hklm:") : QStringLiteral("hkcu:");
}

// What a query holds once it has opened a key: the values and subkey names of that moment.
class SnapshotKey : public RegistryKey {
public:
    SnapshotKey(QHash<QString, RegistryValue> values, QStringList subkeys)
        : m_values(std::move(values)), m_subkeys(std::move(subkeys))
    {
    }
    RegistryValue value(const QString& name) const override { return m_values.value(name.toLower()); }
    QStringList subkeyNames() const override { return m_subkeys; }

private:
    QHash<QString, RegistryValue> m_values;
    QStringList m_subkeys;
};

}  // namespace

QString FakeRegistry::Id(RegistryRoot root, const QString& path)
{
    return RootPrefix(root) + Segments(path).join(QLatin1Char('\\')).toLower();
}

FakeRegistry::Node& FakeRegistry::ensure(RegistryRoot root, const QString& path, QStringList* created)
{
    const QStringList segments = Segments(path);
    QString parentId = RootPrefix(root);
    m_nodes[parentId];  // the root itself always exists
    QString display = RegistryRootName(root);
    QString sub;
    for (const QString& segment : segments) {
        sub += (sub.isEmpty() ? QString() : QStringLiteral("\\")) + segment;
        display += QLatin1Char('\\') + segment;
        const QString id = RootPrefix(root) + sub.toLower();
        if (!m_nodes.contains(id)) {
            m_nodes[id].name = segment;
            m_nodes[parentId].children.append(id);
            if (created)
                created->append(display);
        }
        parentId = id;
    }
    return m_nodes[parentId];
}

void FakeRegistry::addKey(RegistryRoot root, const QString& path) { ensure(root, path, nullptr); }

void FakeRegistry::set(RegistryRoot root, const QString& path, const QString& name, const RegistryValue& v)
{
    ensure(root, path, nullptr).values.insert(name.toLower(), v);
}

void FakeRegistry::setString(RegistryRoot root, const QString& path, const QString& name, const QString& text)
{
    RegistryValue v;
    v.type = RegistryValueType::String;
    v.text = text;
    set(root, path, name, v);
}

void FakeRegistry::setExpandString(RegistryRoot root, const QString& path, const QString& name,
                                   const QString& text)
{
    RegistryValue v;
    v.type = RegistryValueType::ExpandString;
    v.text = text;
    set(root, path, name, v);
}

void FakeRegistry::setMultiString(RegistryRoot root, const QString& path, const QString& name,
                                  const QStringList& texts)
{
    RegistryValue v;
    v.type = RegistryValueType::MultiString;
    v.texts = texts;
    set(root, path, name, v);
}

void FakeRegistry::setNumber(RegistryRoot root, const QString& path, const QString& name, quint32 number)
{
    RegistryValue v;
    v.type = RegistryValueType::Number;
    v.number = number;
    set(root, path, name, v);
}

void FakeRegistry::denyKey(RegistryRoot root, const QString& path) { ensure(root, path, nullptr).denied = true; }

bool FakeRegistry::hasKey(RegistryRoot root, const QString& path) const
{
    return m_nodes.contains(Id(root, path));
}

std::unique_ptr<RegistryKey> FakeRegistry::openKey(RegistryRoot root, const QString& path,
                                                   bool createIfMissing)
{
    QStringList segments = Segments(path);
    m_requests.append(RegistryRootName(root) + QLatin1Char('\\') + segments.join(QLatin1Char('\\')));

    // A key below one that cannot be opened cannot be opened or created either.
    QString sub;
    for (const QString& segment : segments) {
        sub += (sub.isEmpty() ? QString() : QStringLiteral("\\")) + segment.toLower();
        const auto it = m_nodes.constFind(RootPrefix(root) + sub);
        if (it != m_nodes.constEnd() && it->denied)
            return nullptr;
    }
    const QString id = Id(root, path);
    if (!m_nodes.contains(id)) {
        if (!createIfMissing || !m_createAllowed)
            return nullptr;
        ensure(root, path, &m_created);
    }
    const Node& node = m_nodes[id];
    QStringList subkeys;
    for (const QString& child : node.children)
        subkeys.append(m_nodes[child].name);
    return std::make_unique<SnapshotKey>(node.values, subkeys);
}

ScopedFakeRegistry::ScopedFakeRegistry()
{
    auto fake = std::make_unique<FakeRegistry>();
    m_fake = fake.get();
    SetRegistry(std::move(fake));
}

ScopedFakeRegistry::~ScopedFakeRegistry() { SetRegistry(nullptr); }

}  // namespace platform
