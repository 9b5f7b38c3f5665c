#include "session/failuretext.h"

#include "common/failure.h"

QString failureText(const std::exception_ptr& thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const nuvok::Failure& failure) {
        return QString::fromStdString(failure.description());
    } catch (const std::exception& failure) {
        return QString::fromLocal8Bit(failure.what());
    } catch (...) {
    }
    return QStringLiteral("An action failed for an unknown reason and was left unfinished");
}
