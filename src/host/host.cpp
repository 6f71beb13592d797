// Scaffolding: replaced by the real host.
#include "host/host.h"

#include "host/host_impl.h"

namespace orlune::host {

namespace {
thread_local Host* current = nullptr;
}

Host::Host() : impl_(std::make_unique<Impl>(*this)) {}
Host::~Host() = default;
void Host::setDesignFile(std::string path) { impl_->file = std::move(path); }
const std::string& Host::designFile() const { return impl_->file; }
void Host::setReadOnly(bool readOnly) { impl_->readOnly = readOnly; }
const std::string& Host::lastOpenError() const { return impl_->openError; }
const std::string& Host::lastSaveError() const { return impl_->saveError; }
int32_t Host::check(const std::string&, DesignSummary&, std::string& reason) {
    reason = "not implemented";
    return kInvalidDesign;
}
Design* Host::design() { return nullptr; }

Host* currentHost() { return current; }
int32_t Host::Impl::open() { return kNoDesign; }
int32_t Host::Impl::close() { return kOk; }

HostBinding::HostBinding(Host& host) : previous_(current) { current = &host; }
HostBinding::~HostBinding() { current = previous_; }

}  // namespace orlune::host

