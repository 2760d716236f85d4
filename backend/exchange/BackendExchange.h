#pragma once
// The one envelope of every backend exchange: an HTTP POST of one JSON object
// to a path under the backend base address, answered by one JSON object.
//
//   buildRequest            record -> POST with exactly "Content-Type: application/json"
//   exchange                account and synchronisation requests: the body is decoded on
//                           the family's serial queue, the answer (then the completion) or
//                           the failure is delivered on the main thread; the handle
//                           silences and aborts the exchange when released
//   send                    upload-registration requests: body or transport failure to a
//                           completion on the main thread
//   classifyUploadAnswer    upload-registration answer -> decoded answer or user message
//
// The HTTP status of an answer is never looked at: whatever it is, only the
// body is decoded. Nothing is retried here.

#include "backend/exchange/BackendEndpoints.h"
#include "backend/exchange/SerialQueue.h"
#include "backend/net/Cancelable.h"
#include "backend/net/HttpClient.h"
#include "backend/wire/CommonRecords.h"
#include "backend/wire/WireCodec.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zirv {

enum class ExchangeFamily {
    account, // "SessionProcessingQueueAccount"
    defined, // "SessionProcessingQueueDefined" (catalogue)
    user,    // "SessionProcessingQueueUser" (user data)
};

// The family's serial decoding queue, made on first use, kept for the process.
SerialQueue& sessionProcessingQueue(ExchangeFamily family);

template <class Answer>
struct ExchangeHandlers {
    // Main thread: the decoded answer, then (right after) the completion.
    std::function<void(Answer)> onAnswer;
    std::function<void()> onCompletion;
    // Main thread: a transport failure or a decoding failure, with its own
    // description text. An empty body is a decoding failure.
    std::function<void(QString description)> onFailure;
    // On the family's queue, when the body has arrived and before decoding.
    std::function<void()> onBodyReceived;
};

// The outcome of an upload-registration exchange: the decoded answer, or the
// user-facing message of its failure.
template <class Answer>
struct UploadAnswer {
    std::optional<Answer> answer;
    QString failureMessage;
};

enum class UploadAnswerKind {
    hashCheck,    // status codes 21 and others than 3 and 4 are failures here
    registration, // the caller reads the status code itself
};

using SendCompletion = std::function<void(std::optional<std::string> body, std::optional<QString> failure)>;

class BackendExchange {
public:
    // The POST of `record` to the backend base address + `path`. None only if
    // the record cannot be encoded (then nothing is to be sent).
    template <wire::WireRecord Record>
    static std::optional<net::HttpRequest> buildRequest(std::string_view path, const Record& record,
                                                        std::chrono::seconds timeout)
    {
        auto body = wire::encode(record);
        if (!body)
            return std::nullopt;
        return makeRequest(path, std::move(*body), timeout);
    }

    template <wire::WireRecord Record>
    static std::optional<net::HttpRequest> buildRequest(const Endpoint& endpoint, const Record& record)
    {
        return buildRequest(endpoint.path, record, endpoint.timeout);
    }

    // Keep the handle in the exchange's slot; releasing it (also by storing
    // another handle in the slot) aborts the exchange and nothing of it is
    // delivered afterwards.
    template <wire::WireRecord Answer>
    [[nodiscard]] static net::Cancelable exchange(net::HttpRequest request, ExchangeFamily family,
                                                  ExchangeHandlers<Answer> handlers)
    {
        auto onFailure = handlers.onFailure;
        Decoder decoder = [handlers = std::move(handlers)](const std::string& body) -> std::function<void()> {
            if (handlers.onBodyReceived)
                handlers.onBodyReceived();
            auto decoded = wire::decode<Answer>(body);
            if (!decoded) {
                return [onFailure = handlers.onFailure, error = QString::fromStdString(decoded.error)] {
                    if (onFailure)
                        onFailure(error);
                };
            }
            return [handlers, answer = std::move(*decoded.value)]() mutable {
                if (handlers.onAnswer)
                    handlers.onAnswer(std::move(answer));
                if (handlers.onCompletion)
                    handlers.onCompletion();
            };
        };
        return startExchange(std::move(request), family, std::move(decoder), std::move(onFailure));
    }

    // The exchange of an account or synchronisation request, preceded by the
    // host check of its URL (UtilNetwork, area dataServer), which runs on a
    // worker thread. When the host does not resolve, nothing is sent and
    // `onUnreachable` runs on the main thread; otherwise `onStarted` runs
    // there and the exchange goes ahead. The handle covers both phases.
    template <wire::WireRecord Answer>
    [[nodiscard]] static net::Cancelable exchangeIfReachable(net::HttpRequest request, ExchangeFamily family,
                                                             ExchangeHandlers<Answer> handlers,
                                                             std::function<void()> onUnreachable,
                                                             std::function<void()> onStarted = {})
    {
        auto start = [handlers = std::move(handlers), family](net::HttpRequest checked) mutable {
            return exchange<Answer>(std::move(checked), family, std::move(handlers));
        };
        return startAfterHostCheck(std::move(request), std::move(start), std::move(onUnreachable),
                                   std::move(onStarted));
    }

    // Sends an upload-registration request. The completion gets the body (none
    // when the transfer failed) and the transport failure (or none), on the
    // main thread. Keep the handle until then: releasing it aborts the request
    // and the completion is not called.
    [[nodiscard]] static net::Cancelable send(net::HttpRequest request, SendCompletion completion);

    // Classifies the end of an upload-registration exchange, printing the
    // diagnostic line of each failure:
    //   no body -> "_Error.Message.NoData"; transport failure -> "_Error.Message.ServerError"
    //   with its description; undecodable -> `decodeFailureLine` and
    //   "_Error.Message.ServerError" with `entityCode`; then, for a hash check only,
    //   status 21 -> "_AccountConnectionIssueText.Description" and any status other
    //   than 3 and 4 -> "_Error.Message.ServerErrorWithCode" with the database error.
    template <wire::WireRecord Answer>
    static UploadAnswer<Answer> classifyUploadAnswer(const std::optional<std::string>& body,
                                                     const std::optional<QString>& failure,
                                                     const QString& decodeFailureLine,
                                                     const QString& entityCode, UploadAnswerKind kind)
    {
        UploadAnswer<Answer> result;
        if (auto message = classifyTransport(body, failure)) {
            result.failureMessage = *message;
            return result;
        }
        auto decoded = wire::decode<Answer>(*body);
        if (!decoded) {
            result.failureMessage = undecodableMessage(decodeFailureLine, entityCode);
            return result;
        }
        if (kind == UploadAnswerKind::hashCheck) {
            if (auto message = classifyHashStatus(decoded.value->status)) {
                result.failureMessage = *message;
                return result;
            }
        }
        result.answer = std::move(*decoded.value);
        return result;
    }

private:
    using Decoder = std::function<std::function<void()>(const std::string& body)>;

    static net::HttpRequest makeRequest(std::string_view path, std::string body, std::chrono::seconds timeout);
    static net::Cancelable startExchange(net::HttpRequest request, ExchangeFamily family, Decoder decoder,
                                         std::function<void(QString)> onFailure);
    static net::Cancelable startAfterHostCheck(net::HttpRequest request,
                                               std::function<net::Cancelable(net::HttpRequest)> start,
                                               std::function<void()> onUnreachable,
                                               std::function<void()> onStarted);
    static std::optional<QString> classifyTransport(const std::optional<std::string>& body,
                                                    const std::optional<QString>& failure);
    static QString undecodableMessage(const QString& decodeFailureLine, const QString& entityCode);
    static std::optional<QString> classifyHashStatus(const commonStatus& status);
};

} // namespace zirv
