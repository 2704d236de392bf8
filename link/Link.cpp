// Placeholder until the link lands.
#include "link/Link.h"

TLink::TLink(TPerson* person, TPortResolver resolver) : Person(person), Resolver(std::move(resolver)) {}
TLink::~TLink() = default;
std::string TLink::OpenPort(const std::string&) { return "not built yet"; }
void TLink::ClosePort() {}
void TLink::SendCommand(const std::string&) {}
std::string TLink::ReadAnswer() { return {}; }
void TLink::FlushInput() {}
std::string TLink::LastErrorText() const { return {}; }
std::string TLink::ExecuteCommand(const std::string&) { return {}; }
bool TLink::CheckAnswerError(const std::string&) { return true; }
std::string TLink::ReadParameter(const std::string&) { return {}; }
void TLink::WriteParameter(const std::string&, const std::string&) {}
std::string TLink::ReadVersion() { return {}; }
std::string DefaultDevicePath(const std::string&) { return {}; }
