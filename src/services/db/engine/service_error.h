#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorix {

/// Error numbers of the database service (32-bit, as the published codes).
namespace ErrorNumber {
constexpr int32_t kGeneral = static_cast<int32_t>(0x80004005);
constexpr int32_t kFileExists = static_cast<int32_t>(0x80040E17);
constexpr int32_t kNoSuchTable = static_cast<int32_t>(0x80040E37);
constexpr int32_t kTableExists = static_cast<int32_t>(0x80040E3F);
constexpr int32_t kPermissionDenied = static_cast<int32_t>(0x80040E09);
constexpr int32_t kDataOverflow = static_cast<int32_t>(0x80040E57);
constexpr int32_t kBadColumn = static_cast<int32_t>(0x80040E11);
constexpr int32_t kNoCurrentRecord = static_cast<int32_t>(0x800A0BCD);
constexpr int32_t kNotSupported = static_cast<int32_t>(0x800A0CB3);
constexpr int32_t kItemNotFound = static_cast<int32_t>(0x800A0CC1);
constexpr int32_t kNotOpen = static_cast<int32_t>(0x800A0E78);
/// The connection was lost while committing: the outcome is not known.
constexpr int32_t kInDoubt = static_cast<int32_t>(0x8004D00E);
/// A row whose key another row already has.
constexpr int32_t kDuplicateKey = static_cast<int32_t>(0x80040E2F);
/// Waited too long for a lock another session holds.
constexpr int32_t kLockTimeout = static_cast<int32_t>(0x80040E31);
/// The changes were not committed and are undone only when the database is next opened with
/// the journal beside it.
constexpr int32_t kUndoPending = static_cast<int32_t>(0x8004D01B);
/// The server ended the whole transaction (a deadlock, a conflict on another node of a
/// cluster, a killed session, a lost connection): no row is at fault.
constexpr int32_t kTransactionAborted = static_cast<int32_t>(0x8004D01A);
}  // namespace ErrorNumber

/// A failure of the database service: a 32-bit number and a Japanese description.
class ServiceError : public std::runtime_error {
public:
    ServiceError(int32_t number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}

    int32_t number() const { return m_number; }
    std::string description() const { return what(); }

private:
    int32_t m_number;
};

}  // namespace quorix
