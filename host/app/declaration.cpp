#include "declaration.h"

#include <algorithm>

#include "driver_call.h"

namespace x9host {

DeclarationSpec textFieldSpec(const std::string& path, int32_t recordLength,
                              const std::string& driverString, uint8_t attributes) {
    DeclarationSpec wanted;
    wanted.fileName = path;
    wanted.fields = *parseFieldList("18:" + std::to_string(recordLength));
    wanted.driverString = driverString;
    wanted.attributes = attributes;
    return wanted;
}

Declaration::Declaration(const DeclarationSpec& spec)
    : name_(spec.fileName),
      driver_(spec.driverString),
      owner_(spec.owner),
      description_(describeRecord(spec.fields)),
      record_(static_cast<std::size_t>(description_.recordLength), ' ') {
    decl_.nameText = name_.c_str();
    decl_.nameLength = static_cast<int32_t>(name_.size());
    decl_.driverText = driver_.c_str();
    decl_.driverLength = static_cast<int32_t>(driver_.size());
    decl_.ownerText = owner_.c_str();
    decl_.ownerLength = static_cast<int32_t>(owner_.size());
    decl_.attributes = spec.attributes;
    decl_.recordLength = description_.recordLength;
    decl_.classDescriptor = description_.descriptor.get();
    decl_.recordBuffer = record_.data();
}

void Declaration::setRecord(const std::string& text) {
    std::fill(record_.begin(), record_.end(), ' ');
    std::copy_n(text.begin(), std::min(text.size(), record_.size()), record_.begin());
}

void Declaration::setNameForm(int32_t lengthRule) {
    std::string text = name_;
    if (lengthRule == -2) name_ = std::string(1, static_cast<char>(text.size())) + text;
    decl_.nameText = name_.c_str();
    decl_.nameLength = lengthRule;
}

Declaration::~Declaration() {
    if (calledBy_ && decl_.fcb) releaseDeclaration(*calledBy_, *this);
}

}  // namespace x9host
