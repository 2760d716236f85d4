#pragma once
// The store stack: one controller per opened store, its main context bound to
// the main thread and short-lived background contexts on worker threads.
//
// A context is one SQLite connection used by one thread. It holds no objects
// of its own: every read goes to the store and every write is saved (one
// transaction) before the operation returns, so what a background task saves
// is seen by the main context's next read, and batch updates need no merging.
//
//   CoreDataController ── viewContext() (main thread, lazily connected)
//                      └─ performBackgroundTask(task) ─▶ worker thread,
//                         a context of that worker's own connection

#include "store/Sqlite.h"

#include <QString>
#include <QUrl>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zirv {

class CoreDataController;

class StoreContext {
public:
    StoreContext(CoreDataController& controller, bool isMain);
    ~StoreContext();
    StoreContext(const StoreContext&) = delete;
    StoreContext& operator=(const StoreContext&) = delete;

    // The connection, opened on first use; none while the store is not loaded
    // (still opening, or the opening failed), or when used off the context's
    // thread. Operations treat none as "nothing found" / "not stored".
    sql::Database* database();

    bool isMainContext() const { return m_isMain; }
    CoreDataController& controller() const { return m_controller; }

    // Runs `work` on this context's thread: for the main context a queued call
    // on the main thread (asynchronous with respect to the caller).
    void perform(std::function<void(StoreContext&)> work);

private:
    CoreDataController& m_controller;
    const bool m_isMain;
    std::thread::id m_owner;
    std::unique_ptr<sql::Database> m_db;
    bool m_openFailed = false;
};

// Saves made inside a group are committed together when the group ends, each
// one still all-or-nothing on its own (a savepoint). For applying one answer
// page of many records without a commit per record.
class SaveGroup {
public:
    explicit SaveGroup(StoreContext& context);
    ~SaveGroup();
    SaveGroup(const SaveGroup&) = delete;
    SaveGroup& operator=(const SaveGroup&) = delete;
    // Commits the group; answers false when it could not be saved (then
    // nothing of the group is stored).
    bool commit();

private:
    std::optional<sql::Transaction> m_tx;
};

class CoreDataController {
public:
    // Builds the model and the container for the store `name`; none when the
    // model does not validate.
    static std::unique_ptr<CoreDataController> create(const QString& name);
    ~CoreDataController();
    CoreDataController(const CoreDataController&) = delete;
    CoreDataController& operator=(const CoreDataController&) = delete;

    // Options copied when the store is opened; set them before loadStore.
    bool isReadOnly = false;
    bool shouldAddStoreAsynchronously = true;
    bool shouldMigrateStoreAutomatically = true;
    bool shouldInferMappingModelAutomatically = true;

    bool isStoreLoaded() const { return m_loaded.load(std::memory_order_acquire); }
    const QString& name() const { return m_name; }

    // The default location of the store: the file named after the store in
    // the application's own data folder.
    std::optional<QUrl> defaultStoreURL() const;

    using Completion = std::function<void(std::optional<QString> error)>;
    // Opens (creating or migrating) the store; 0.1 s after the opening
    // reports, `completion` runs on the main thread with the error or none.
    void loadStore(std::optional<QUrl> url, Completion completion);

    StoreContext& viewContext() { return *m_viewContext; }
    void withViewContext(const std::function<void(StoreContext&)>& action) { action(*m_viewContext); }

    // Runs `task` on a worker thread with a background context.
    void performBackgroundTask(std::function<void(StoreContext&)> task);
    // Blocks until no background task is queued or running (for tests,
    // benchmarks and shutdown).
    void waitForBackgroundTasks();

    // Test hook: the n-th save from now (1 = the next) fails.
    void failNthSave(int n) { m_faults.failSaveCountdown.store(n); }

    // Internal: the store file and connection options of the loaded store.
    QString storePath() const;
    sql::Database::Options connectionOptions();

private:
    explicit CoreDataController(QString name);
    bool openAndPrepare(const QString& path, QString* error);
    void workerLoop();

    const QString m_name;
    std::atomic<bool> m_loaded {false};
    std::atomic<bool> m_loadStarted {false};
    QString m_storePath; // written before m_loaded is set, read after
    sql::FaultHook m_faults;
    std::unique_ptr<StoreContext> m_viewContext;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void(StoreContext&)>> m_queue;
    std::vector<std::thread> m_workers;
    int m_running = 0;
    bool m_stopping = false;
};

// The process-wide holder of the "User" store.
class CoreDataShared {
public:
    // Created on first use (once, also when first used from two threads).
    static CoreDataShared& shared();

    // A holder of its own, for tests.
    CoreDataShared();

    std::shared_ptr<CoreDataController> myData() const { return m_myData.load(); }
    void setMyData(std::shared_ptr<CoreDataController> controller) { m_myData.store(std::move(controller)); }

private:
    std::atomic<std::shared_ptr<CoreDataController>> m_myData;
};

// Start-up: builds the "User" controller into the holder and opens the store,
// then prepares the store locations. Ends the process when the controller
// cannot be built.
void openStore();

} // namespace zirv
