#pragma once
// Keychain items: one password per (service, account), kept by the Secret
// Service (the desktop keyring) through libsecret. When no Secret Service can
// be reached (no session bus, no keyring daemon) the items are kept in a
// credentials file readable only by its owner; that is said once on the
// console.
//
// Every operation is synchronous and reports failures on the console only:
//   "Write failed: ", "Read failed: ", "Remove failed: " followed by the
//   error text, and "Nothing was retrieved from the keychain. Status code "
//   followed by the status number.
// A locked keyring answers `locked`, never "not found".

#include <QString>

#include <optional>

namespace zirv {

// The status numbers printed by readItem.
enum class KeychainStatus : int {
    success = 0,
    itemNotFound = -25300,
    duplicateItem = -25299,
    locked = -25308,
    notAvailable = -25291,
    badData = -26275,
    ioError = -36,
};

struct KeychainRead {
    KeychainStatus status = KeychainStatus::itemNotFound;
    std::optional<QString> value;
};

class UtilKeychain {
public:
    enum class Backend { automatic, secretService, file };

    // `credentialsFile`: the fall-back file; empty for the default, a file
    // named "credentials" in the application's data folder.
    explicit UtilKeychain(Backend backend = Backend::automatic, QString credentialsFile = {});

    void addItem(const QString& service, const QString& account, const QString& value) const;
    void updateItem(const QString& service, const QString& account, const QString& value) const;
    std::optional<QString> readItem(const QString& service, const QString& account) const;
    void removeItem(const QString& service, const QString& account) const;

    // The same operations answering their status (and printing the same lines).
    KeychainStatus add(const QString& service, const QString& account, const QString& value) const;
    KeychainStatus update(const QString& service, const QString& account, const QString& value) const;
    KeychainRead read(const QString& service, const QString& account) const;
    KeychainStatus remove(const QString& service, const QString& account) const;

    static QString statusText(KeychainStatus status);
    static QString defaultCredentialsFile();

private:
    Backend m_backend;
    QString m_file;
};

// The one service all items of this system are kept under.
inline const QString keychainService = QStringLiteral("zirv2");

// After a successful log-in or account creation: update the item of the
// address, or add it when there is none.
void savePasswordAfterLogin(const UtilKeychain& keychain, const QString& email, const QString& password);
// After a password change: update the item only if there is one.
void savePasswordAfterChange(const UtilKeychain& keychain, const QString& email, const QString& password);

} // namespace zirv
