#include "pieces/replacement.h"

#include "pieces/failure.h"

Replacement::Replacement(const std::string& name) : name_(name)
{
    if (!create_temporary(file_, name, name, temporary_)) {
        temporary_.clear();  // whatever it names is not ours
        fail_opening(name);
    }
}

Replacement::~Replacement()
{
    if (placed_)
        return;
    if (file_.handle != File::no_handle)
        close_file(file_);
    if (!temporary_.empty())
        remove_file(temporary_);
}

void Replacement::put_in_place()
{
    if (!flush_file(file_) || !close_file(file_))
        fail_writing(name_);
    if (!replace(temporary_, name_))
        fail_writing(name_);
    placed_ = true;
    if (!flush_entry(name_))
        fail_writing(name_);
}
