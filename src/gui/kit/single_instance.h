#pragma once
// One application per user: a lock file in the user's runtime folder. A second start finds the
// lock held and ends without a message. GUI thread only, held for the life of the process.

#include <QLockFile>
#include <memory>

class SingleInstance {
public:
    // lockDir empty: the user's runtime folder.
    explicit SingleInstance(const QString& lockDir = {});
    bool isFirst() const { return first_; }

private:
    std::unique_ptr<QLockFile> lock_;
    bool first_ = false;
};
