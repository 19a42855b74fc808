#include "CallFailure.h"

#include "IdException.h"
#include "IdHTTPResponse.h"

#include <new>

QString TCallFailure::Text() const {
    return WithVisibleNul(
        QString::fromUtf8(Message.data(), static_cast<qsizetype>(Message.size())));
}

TCallFailure CallFailureOf(const std::exception_ptr& AError, TOutOfMemoryWording AOutOfMemory) {
    TCallFailure failure;
    try {
        std::rethrow_exception(AError);
    } catch (const EIdHTTPProtocolException& error) {
        failure.Message = error.Message();
        failure.Refused = true;
        failure.StatusLine = error.Message();
        failure.Body = error.ErrorMessage;
    } catch (const EIdException& error) {
        failure.Message = error.Message();
    } catch (const std::bad_alloc& error) {
        failure.Message = AOutOfMemory == TOutOfMemoryWording::Explained
                              ? "Out of memory while reading the answer."
                              : error.what();
    } catch (const std::exception& error) {
        failure.Message = error.what();
    } catch (...) {
        failure.Message = "Unknown error.";
    }
    return failure;
}

QString WithVisibleNul(QString AText) {
    return AText.replace(QChar(0), QChar(0xFFFD));
}
