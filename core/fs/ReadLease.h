#pragma once

// A read lease on an open file (F_SETLEASE with F_RDLCK): it can be taken only while no
// descriptor anywhere has the file open for writing, and any later open for writing or
// truncation breaks it. Taking one needs the file's owner or CAP_LEASE.
class ReadLease
{
public:
    // Takes the lease on `fd`, which must be open read-only; error() tells why it was not taken
    // (EAGAIN while the file is open for writing, EACCES without the right, EINVAL where the
    // filesystem has no leases). The signal that tells of a break is handled and does nothing.
    explicit ReadLease(int fd);
    // Gives the lease back (F_UNLCK); the descriptor stays open.
    ~ReadLease();

    ReadLease(const ReadLease&) = delete;
    ReadLease& operator=(const ReadLease&) = delete;

    // 0 when the lease was taken, else the errno value.
    [[nodiscard]] int error() const { return m_error; }
    // Whether the lease is taken and still unbroken: nothing opened the file for writing since.
    [[nodiscard]] bool held() const;

private:
    int m_fd = -1;
    int m_error = 0;
};
