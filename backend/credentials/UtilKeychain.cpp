#include "UtilKeychain.h"

#include "app/core/Console.h"
#include "store/StoreLocations.h"

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

#include <atomic>
#include <mutex>

namespace zirv {

namespace {

// --- the Secret Service ----------------------------------------------------

const SecretSchema* passwordSchema()
{
    static const SecretSchema schema = {
        "org.zirv2.Password",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &schema;
}

template <class T>
struct GObjectRef {
    T* p = nullptr;
    ~GObjectRef()
    {
        if (p)
            g_object_unref(p);
    }
};

struct GErrorRef {
    GError* p = nullptr;
    ~GErrorRef()
    {
        if (p)
            g_error_free(p);
    }
    QString text() const { return p ? QString::fromUtf8(p->message) : QString(); }
};

// The service connection, or none (with the reason) when there is no
// reachable Secret Service.
SecretService* connectService(QString* reason)
{
    GErrorRef error;
    SecretService* service = secret_service_get_sync(
        static_cast<SecretServiceFlags>(SECRET_SERVICE_OPEN_SESSION | SECRET_SERVICE_LOAD_COLLECTIONS), nullptr,
        &error.p);
    if (!service && reason)
        *reason = error.text();
    return service;
}

// The items of (service, account), locked ones included, without asking to
// unlock anything.
struct Found {
    KeychainStatus status = KeychainStatus::itemNotFound;
    SecretItem* item = nullptr; // owned
    QString error;
    ~Found()
    {
        if (item)
            g_object_unref(item);
    }
};

void findItem(SecretService* service, const QString& serviceName, const QString& account, Found& found)
{
    const QByteArray s = serviceName.toUtf8();
    const QByteArray a = account.toUtf8();
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>(s.constData()));
    g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(a.constData()));
    GErrorRef error;
    GList* items = secret_service_search_sync(
        service, passwordSchema(), attributes,
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), nullptr, &error.p);
    g_hash_table_unref(attributes);
    if (error.p) {
        found.status = KeychainStatus::ioError;
        found.error = error.text();
        g_list_free_full(items, g_object_unref);
        return;
    }
    // An unlocked copy wins over a locked one.
    for (GList* l = items; l; l = l->next) {
        auto* item = static_cast<SecretItem*>(l->data);
        if (!found.item || (secret_item_get_locked(found.item) && !secret_item_get_locked(item)))
            found.item = item;
    }
    if (found.item) {
        g_object_ref(found.item);
        found.status = secret_item_get_locked(found.item) ? KeychainStatus::locked : KeychainStatus::success;
    }
    g_list_free_full(items, g_object_unref);
}

SecretValue* utf8Value(const QString& value)
{
    const QByteArray bytes = value.toUtf8();
    return secret_value_new(bytes.constData(), bytes.size(), "text/plain");
}

KeychainStatus serviceAdd(SecretService* service, const QString& name, const QString& account,
                          const QString& value, QString* error)
{
    Found found;
    findItem(service, name, account, found);
    if (found.status == KeychainStatus::ioError) {
        *error = found.error;
        return found.status;
    }
    if (found.item)
        return KeychainStatus::duplicateItem;
    GErrorRef gerror;
    GObjectRef<SecretCollection> collection {secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &gerror.p)};
    if (!collection.p) {
        *error = gerror.p ? gerror.text() : QStringLiteral("The keyring has no default collection.");
        return KeychainStatus::notAvailable;
    }
    if (secret_collection_get_locked(collection.p))
        return KeychainStatus::locked;
    const QByteArray s = name.toUtf8();
    const QByteArray a = account.toUtf8();
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>(s.constData()));
    g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(a.constData()));
    SecretValue* secret = utf8Value(value);
    // The keyring needs a label; the account name is the least it can say.
    GObjectRef<SecretItem> item {secret_item_create_sync(collection.p, passwordSchema(), attributes,
                                                         a.constData(), secret, SECRET_ITEM_CREATE_NONE,
                                                         nullptr, &gerror.p)};
    secret_value_unref(secret);
    g_hash_table_unref(attributes);
    if (!item.p) {
        *error = gerror.text();
        return KeychainStatus::ioError;
    }
    return KeychainStatus::success;
}

KeychainStatus serviceUpdate(SecretService* service, const QString& name, const QString& account,
                             const QString& value, QString* error)
{
    Found found;
    findItem(service, name, account, found);
    if (found.status != KeychainStatus::success) {
        *error = found.error;
        return found.status;
    }
    GErrorRef gerror;
    SecretValue* secret = utf8Value(value);
    const bool ok = secret_item_set_secret_sync(found.item, secret, nullptr, &gerror.p);
    secret_value_unref(secret);
    if (!ok) {
        *error = gerror.text();
        return KeychainStatus::ioError;
    }
    return KeychainStatus::success;
}

KeychainRead serviceRead(SecretService* service, const QString& name, const QString& account, QString* error)
{
    Found found;
    findItem(service, name, account, found);
    if (found.status != KeychainStatus::success) {
        *error = found.error;
        return {found.status, std::nullopt};
    }
    SecretValue* secret = secret_item_get_secret(found.item);
    if (!secret) {
        GErrorRef gerror;
        if (!secret_item_load_secret_sync(found.item, nullptr, &gerror.p)) {
            *error = gerror.text();
            return {KeychainStatus::ioError, std::nullopt};
        }
        secret = secret_item_get_secret(found.item);
        if (!secret)
            return {KeychainStatus::locked, std::nullopt};
    }
    gsize length = 0;
    const gchar* data = secret_value_get(secret, &length);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(data, static_cast<qsizetype>(length)));
    const bool valid = !decoder.hasError();
    secret_value_unref(secret);
    if (!valid)
        return {KeychainStatus::badData, std::nullopt};
    return {KeychainStatus::success, std::move(text)};
}

KeychainStatus serviceRemove(SecretService* service, const QString& name, const QString& account, QString* error)
{
    Found found;
    findItem(service, name, account, found);
    if (found.status != KeychainStatus::success) {
        *error = found.error;
        return found.status;
    }
    GErrorRef gerror;
    if (!secret_item_delete_sync(found.item, nullptr, &gerror.p)) {
        *error = gerror.text();
        return KeychainStatus::ioError;
    }
    return KeychainStatus::success;
}

// --- the credentials file ----------------------------------------------------

std::mutex fileMutex;

struct FileItems {
    KeychainStatus status = KeychainStatus::success;
    QJsonArray items;
};

FileItems loadFile(const QString& path)
{
    FileItems out;
    QFile file(path);
    if (!file.exists())
        return out;
    if (!file.open(QIODevice::ReadOnly)) {
        out.status = KeychainStatus::ioError;
        return out;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject()) {
        out.status = KeychainStatus::badData;
        return out;
    }
    out.items = doc.object().value(QStringLiteral("items")).toArray();
    return out;
}

bool saveFile(const QString& path, const QJsonArray& items)
{
    if (!makePrivateFolder(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Owner-only before any secret is written.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    QJsonObject root;
    root.insert(QStringLiteral("items"), items);
    file.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    return file.commit();
}

int indexOf(const QJsonArray& items, const QString& service, const QString& account)
{
    for (int i = 0; i < items.size(); ++i) {
        const QJsonObject item = items.at(i).toObject();
        if (item.value(QStringLiteral("service")).toString() == service
            && item.value(QStringLiteral("account")).toString() == account)
            return i;
    }
    return -1;
}

QJsonObject fileItem(const QString& service, const QString& account, const QString& value)
{
    QJsonObject item;
    item.insert(QStringLiteral("service"), service);
    item.insert(QStringLiteral("account"), account);
    item.insert(QStringLiteral("password"), value);
    return item;
}

enum class Op { add, update, remove };

KeychainStatus fileWrite(const QString& path, Op op, const QString& service, const QString& account,
                         const QString& value)
{
    std::lock_guard lock(fileMutex);
    FileItems loaded = loadFile(path);
    if (loaded.status != KeychainStatus::success)
        return loaded.status;
    const int index = indexOf(loaded.items, service, account);
    switch (op) {
    case Op::add:
        if (index >= 0)
            return KeychainStatus::duplicateItem;
        loaded.items.append(fileItem(service, account, value));
        break;
    case Op::update:
        if (index < 0)
            return KeychainStatus::itemNotFound;
        loaded.items.replace(index, fileItem(service, account, value));
        break;
    case Op::remove:
        if (index < 0)
            return KeychainStatus::itemNotFound;
        loaded.items.removeAt(index);
        break;
    }
    return saveFile(path, loaded.items) ? KeychainStatus::success : KeychainStatus::ioError;
}

KeychainRead fileRead(const QString& path, const QString& service, const QString& account)
{
    std::lock_guard lock(fileMutex);
    const FileItems loaded = loadFile(path);
    if (loaded.status != KeychainStatus::success)
        return {loaded.status, std::nullopt};
    const int index = indexOf(loaded.items, service, account);
    if (index < 0)
        return {KeychainStatus::itemNotFound, std::nullopt};
    return {KeychainStatus::success,
            loaded.items.at(index).toObject().value(QStringLiteral("password")).toString()};
}

std::atomic<bool> fallbackAnnounced {false};

// Chooses where the items are this time: the Secret Service when reachable.
SecretService* chooseService(UtilKeychain::Backend backend, const QString& file)
{
    if (backend == UtilKeychain::Backend::file)
        return nullptr;
    QString reason;
    SecretService* service = connectService(&reason);
    if (!service && !fallbackAnnounced.exchange(true))
        consoleLine(QStringLiteral("No Secret Service could be reached (%1); passwords are kept in %2")
                        .arg(reason, file));
    return service;
}

QString messageFor(KeychainStatus status, const QString& detail)
{
    return detail.isEmpty() ? UtilKeychain::statusText(status) : detail;
}

} // namespace

UtilKeychain::UtilKeychain(Backend backend, QString credentialsFile)
    : m_backend(backend), m_file(credentialsFile.isEmpty() ? defaultCredentialsFile() : std::move(credentialsFile))
{
}

QString UtilKeychain::defaultCredentialsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/credentials");
}

QString UtilKeychain::statusText(KeychainStatus status)
{
    switch (status) {
    case KeychainStatus::success:
        return QStringLiteral("No error.");
    case KeychainStatus::itemNotFound:
        return QStringLiteral("The specified item could not be found in the keychain.");
    case KeychainStatus::duplicateItem:
        return QStringLiteral("The specified item already exists in the keychain.");
    case KeychainStatus::locked:
        return QStringLiteral("The keychain is locked.");
    case KeychainStatus::notAvailable:
        return QStringLiteral("No keychain is available.");
    case KeychainStatus::badData:
        return QStringLiteral("The stored item could not be read.");
    case KeychainStatus::ioError:
        return QStringLiteral("The keychain could not be read or written.");
    }
    return QString();
}

KeychainStatus UtilKeychain::add(const QString& service, const QString& account, const QString& value) const
{
    QString detail;
    KeychainStatus status;
    if (SecretService* secrets = chooseService(m_backend, m_file)) {
        status = serviceAdd(secrets, service, account, value, &detail);
        g_object_unref(secrets);
    } else if (m_backend == Backend::secretService) {
        status = KeychainStatus::notAvailable;
    } else {
        status = fileWrite(m_file, Op::add, service, account, value);
    }
    if (status != KeychainStatus::success)
        consoleLine(QStringLiteral("Write failed: ") + messageFor(status, detail));
    return status;
}

KeychainStatus UtilKeychain::update(const QString& service, const QString& account, const QString& value) const
{
    QString detail;
    KeychainStatus status;
    if (SecretService* secrets = chooseService(m_backend, m_file)) {
        status = serviceUpdate(secrets, service, account, value, &detail);
        g_object_unref(secrets);
    } else if (m_backend == Backend::secretService) {
        status = KeychainStatus::notAvailable;
    } else {
        status = fileWrite(m_file, Op::update, service, account, value);
    }
    if (status != KeychainStatus::success)
        consoleLine(QStringLiteral("Read failed: ") + messageFor(status, detail));
    return status;
}

KeychainRead UtilKeychain::read(const QString& service, const QString& account) const
{
    QString detail;
    KeychainRead answer;
    if (SecretService* secrets = chooseService(m_backend, m_file)) {
        answer = serviceRead(secrets, service, account, &detail);
        g_object_unref(secrets);
    } else if (m_backend == Backend::secretService) {
        answer = {KeychainStatus::notAvailable, std::nullopt};
    } else {
        answer = fileRead(m_file, service, account);
    }
    if (answer.status != KeychainStatus::success)
        consoleLine(QStringLiteral("Nothing was retrieved from the keychain. Status code ")
                    + QString::number(static_cast<int>(answer.status)));
    return answer;
}

KeychainStatus UtilKeychain::remove(const QString& service, const QString& account) const
{
    QString detail;
    KeychainStatus status;
    if (SecretService* secrets = chooseService(m_backend, m_file)) {
        status = serviceRemove(secrets, service, account, &detail);
        g_object_unref(secrets);
    } else if (m_backend == Backend::secretService) {
        status = KeychainStatus::notAvailable;
    } else {
        status = fileWrite(m_file, Op::remove, service, account, QString());
    }
    if (status != KeychainStatus::success)
        consoleLine(QStringLiteral("Remove failed: ") + messageFor(status, detail));
    return status;
}

void UtilKeychain::addItem(const QString& service, const QString& account, const QString& value) const
{
    add(service, account, value);
}

void UtilKeychain::updateItem(const QString& service, const QString& account, const QString& value) const
{
    update(service, account, value);
}

std::optional<QString> UtilKeychain::readItem(const QString& service, const QString& account) const
{
    return read(service, account).value;
}

void UtilKeychain::removeItem(const QString& service, const QString& account) const
{
    remove(service, account);
}

void savePasswordAfterLogin(const UtilKeychain& keychain, const QString& email, const QString& password)
{
    if (keychain.readItem(keychainService, email))
        keychain.updateItem(keychainService, email, password);
    else
        keychain.addItem(keychainService, email, password);
}

void savePasswordAfterChange(const UtilKeychain& keychain, const QString& email, const QString& password)
{
    if (keychain.readItem(keychainService, email))
        keychain.updateItem(keychainService, email, password);
}

} // namespace zirv
