// A file declaration as the host builds it for an application: the
// Drv_FileDecl record with its name, driver string and owner texts, the
// record buffer and the record's class descriptor, all owned here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drv_records.h"
#include "record_description.h"

namespace x9host {

class Plugin;

struct DeclarationSpec {
    std::string fileName;
    std::vector<FieldSpec> fields;
    std::string driverString;
    std::string owner;
    uint8_t attributes = 0;
};

// A declaration of one text field (type 18) of `recordLength` bytes over
// `path`, the shape the text driver reads lines into.
DeclarationSpec textFieldSpec(const std::string& path, int32_t recordLength,
                              const std::string& driverString = {},
                              uint8_t attributes = kDeclCreateAllowed);

class Declaration {
  public:
    explicit Declaration(const DeclarationSpec& spec);
    // Closes the file and lets the driver free its block, as a host does before
    // it drops a declaration, so nothing the driver allocated outlives it.
    ~Declaration();
    Declaration(const Declaration&) = delete;
    Declaration& operator=(const Declaration&) = delete;

    Drv_FileDecl* get() { return &decl_; }
    Drv_FCB* block() const { return decl_.fcb; }
    uint8_t* record() { return record_.data(); }
    int32_t recordLength() const { return static_cast<int32_t>(record_.size()); }
    std::string recordText() const { return {record_.begin(), record_.end()}; }
    // Fills the record buffer with the text, blank-padded or cut.
    void setRecord(const std::string& text);
    // Gives the name text another length rule (-1 zero-terminated, -2 length
    // byte first), as hosts pass names in several forms.
    void setNameForm(int32_t lengthRule);
    // The plug-in that was last called with this declaration; it releases the
    // block when the declaration goes. It must outlive the declaration.
    void noteCalledBy(const Plugin& plugin) { calledBy_ = &plugin; }

  private:
    std::string name_, driver_, owner_;
    RecordDescription description_;
    std::vector<uint8_t> record_;
    Drv_FileDecl decl_{};
    const Plugin* calledBy_ = nullptr;
};

}  // namespace x9host
