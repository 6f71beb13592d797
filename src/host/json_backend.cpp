// The JSON design file as a backend: read and validated by the loader,
// written by the merging writer, saved atomically.
#include <memory>
#include <string>
#include <vector>

#include "host/backend.h"
#include "host/load.h"
#include "host/save.h"

namespace orlune::host {

namespace {

class JsonBackend final : public Backend {
public:
    int32_t read(const std::string& path, const std::string& name, std::unique_ptr<Design>& design,
                 std::string& reason) override {
        bytes_.reset();
        std::string fresh;
        if (!readDesignBytes(path, name, fresh, reason)) return kFileUnreadable;
        auto shared = std::make_shared<const std::string>(std::move(fresh));
        const int32_t status = loadDesign(shared, name, design, reason);
        if (status == kOk) bytes_ = std::move(shared);
        return status;
    }

    int unchanged(const std::string& path, const std::string& name, std::string& reason) override {
        // Comparing the bytes costs a read; parsing them would cost far more.
        if (!bytes_) return 0;
        return sameDesignBytes(path, name, *bytes_, reason);
    }

    int32_t write(const std::string& path, const std::string& name, const Design& design,
                  const std::function<bool(SaveStage)>& failStage, std::string& reason) override {
        written_.clear();
        std::string text = designText(design);
        if (bytes_ && text == *bytes_) return kOk;
        std::vector<FileChange> change{{path, name, text, std::nullopt}};
        if (bytes_) change[0].read = *bytes_;
        if (!saveFiles(journalPathFor(path), change, failStage, reason)) {
            // The file still holds what was read: the next open reads it.
            bytes_.reset();
            return kSaveFailed;
        }
        bytes_ = std::make_shared<const std::string>(std::move(text));
        written_ = {name};
        return kOk;
    }

    std::vector<std::string> lastWritten() const override { return written_; }

    void forget() override { bytes_.reset(); }

    std::string designFileText(const Design& design) const override { return designText(design); }

private:
    // The file's bytes that the design read stands for.
    std::shared_ptr<const std::string> bytes_;
    std::vector<std::string> written_;
};

}  // namespace

std::unique_ptr<Backend> makeJsonBackend() {
    return std::make_unique<JsonBackend>();
}

}  // namespace orlune::host
