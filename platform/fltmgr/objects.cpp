// Volumes, instances, file objects and streams: identities, references and look-ups.
#include "fltmgr_core.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/string_routines.h"

namespace flt::core {

namespace {

// Takes the object out of its table; the caller frees it once the lock is released.
template <typename T>
std::unique_ptr<T> TakeLocked(std::vector<std::unique_ptr<T>>& table, T* object) {
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (it->get() == object) {
            std::unique_ptr<T> taken = std::move(*it);
            *it = std::move(table.back());
            table.pop_back();
            return taken;
        }
    }
    return nullptr;
}

}  // namespace

State& S() {
    static State state;
    return state;
}

std::u16string Upper(std::u16string_view text) {
    std::u16string upper(text);
    for (char16_t& c : upper) {
        c = kernel::UpcaseUnicodeChar(c);
    }
    return upper;
}

bool IsFullName(std::u16string_view name) {
    return !name.empty() && (name[0] == u'\\' || name[0] == u'/');
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == Upper(prefix);
}

void DropFileObjectReference(flt::FileObject* fileObject) {
    bool last;
    {
        std::lock_guard lock(S().lock);
        if (fileObject->references <= 0) {
            kernel::BugCheck("file object dereferenced more often than referenced");
        }
        last = --fileObject->references == 0;
    }
    if (!last) {
        return;
    }
    if (fileObject->operationsOnClose) {
        Operation close(flt::MajorFunction::Close, fileObject);
        RunOperation(close);
    }
    void* context = nullptr;
    std::unique_ptr<flt::FileObject> freed;
    std::unique_ptr<flt::Stream> freedStream;
    {
        std::lock_guard lock(S().lock);
        fileObject->closed = true;
        flt::Stream* stream = fileObject->stream;
        if (--stream->fileObjects == 0 && stream->pins == 0) {
            context = stream->context;
            stream->context = nullptr;
            if (stream->volume->reclaim) {
                freedStream = TakeLocked(S().streams, stream);
            }
        }
        if (fileObject->volume->reclaim) {
            freed = TakeLocked(S().fileObjects, fileObject);
        }
    }
    if (context != nullptr) {
        ReleaseContextReference(context);
    }
}

flt::FileObject* OpenFileObject(flt::Volume* volume, const std::u16string& name,
                                flt::Stream* stream) {
    std::lock_guard lock(S().lock);
    if (stream == nullptr) {
        const std::u16string upper = Upper(name);
        for (auto& s : S().streams) {
            if (s->volume == volume && s->fileObjects > 0 && Upper(s->name) == upper) {
                stream = s.get();
                break;
            }
        }
    }
    if (stream == nullptr) {
        S().streams.push_back(std::make_unique<flt::Stream>());
        stream = S().streams.back().get();
        stream->volume = volume;
        stream->name = name;
    }
    ++stream->fileObjects;
    S().fileObjects.push_back(std::make_unique<flt::FileObject>());
    flt::FileObject* fileObject = S().fileObjects.back().get();
    fileObject->volume = volume;
    fileObject->stream = stream;
    fileObject->identity = S().nextFileObjectIdentity++;
    fileObject->references = 1;
    return fileObject;
}

flt::Stream* NewPinnedStream(flt::Volume* volume, const std::u16string& name) {
    std::lock_guard lock(S().lock);
    S().streams.push_back(std::make_unique<flt::Stream>());
    flt::Stream* stream = S().streams.back().get();
    stream->volume = volume;
    stream->name = name;
    stream->pins = 1;
    return stream;
}

void UnpinStream(flt::Stream* stream) {
    void* context = nullptr;
    std::unique_ptr<flt::Stream> freed;
    {
        std::lock_guard lock(S().lock);
        if (stream->pins <= 0) {
            kernel::BugCheck("stream unpinned more often than pinned");
        }
        if (--stream->pins == 0 && stream->fileObjects == 0) {
            context = stream->context;
            stream->context = nullptr;
            if (stream->volume->reclaim) {
                freed = TakeLocked(S().streams, stream);
            }
        }
    }
    if (context != nullptr) {
        ReleaseContextReference(context);
    }
}

void MoveFileObjectToStream(flt::FileObject* fileObject, flt::Stream* stream) {
    void* context = nullptr;
    std::unique_ptr<flt::Stream> freed;
    {
        std::lock_guard lock(S().lock);
        flt::Stream* old = fileObject->stream;
        if (old == stream) {
            return;
        }
        ++stream->fileObjects;
        fileObject->stream = stream;
        if (--old->fileObjects == 0 && old->pins == 0) {
            context = old->context;
            old->context = nullptr;
            if (old->volume->reclaim) {
                freed = TakeLocked(S().streams, old);
            }
        }
    }
    if (context != nullptr) {
        ReleaseContextReference(context);
    }
}

void SetStreamName(flt::Stream* stream, const std::u16string& name) {
    std::lock_guard lock(S().lock);
    stream->name = name;
}

}  // namespace flt::core

namespace flt {

using namespace flt::core;

std::uint32_t VolumeIdentity(Volume* volume) {
    return volume->identity;
}
std::uint32_t FileObjectIdentity(FileObject* fileObject) {
    return fileObject->identity;
}

void ObjectDereference(Volume* volume) {
    if (--volume->references < 0) {
        kernel::BugCheck("volume dereferenced more often than referenced");
    }
}

void ObjectDereference(Instance* instance) {
    if (--instance->references < 0) {
        kernel::BugCheck("instance dereferenced more often than referenced");
    }
}

void ObjectReference(FileObject* fileObject) {
    std::lock_guard lock(S().lock);
    ++fileObject->references;
}

void ObjectDereference(FileObject* fileObject) {
    if (kernel::CurrentIrql() >= kernel::DISPATCH_LEVEL) {
        kernel::BugCheck("file object dereferenced at DISPATCH_LEVEL or above");
    }
    DropFileObjectReference(fileObject);
}

NTSTATUS GetVolumeFromInstance(Instance* instance, Volume** volume) {
    *volume = nullptr;
    if (instance == nullptr) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    ++instance->volume->references;
    *volume = instance->volume;
    return kernel::STATUS_SUCCESS;
}

NTSTATUS GetVolumeFromFileObject(Filter*, FileObject* fileObject, Volume** volume) {
    *volume = nullptr;
    if (fileObject == nullptr) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    ++fileObject->volume->references;
    *volume = fileObject->volume;
    return kernel::STATUS_SUCCESS;
}

NTSTATUS GetFirstInstance(Filter* filter, Volume* volume, Instance** instance) {
    *instance = nullptr;
    std::lock_guard lock(S().lock);
    if (volume != nullptr && volume->hostFileSystem) {
        // No filter is attached to the host's own file system; its files still have names.
        if (volume->hostInstance == nullptr) {
            S().instances.push_back(std::make_unique<Instance>());
            volume->hostInstance = S().instances.back().get();
            volume->hostInstance->filter = filter;
            volume->hostInstance->volume = volume;
        }
        ++volume->hostInstance->references;
        *instance = volume->hostInstance;
        return kernel::STATUS_SUCCESS;
    }
    Instance* attached = volume != nullptr ? volume->instance : nullptr;
    if (attached == nullptr || attached->filter != filter || !attached->attached) {
        return kernel::STATUS_FLT_INSTANCE_NOT_FOUND;
    }
    ++attached->references;
    *instance = attached;
    return kernel::STATUS_SUCCESS;
}

NTSTATUS ReferenceFileObjectByHandle(kernel::Handle* handle, FileObject** fileObject) {
    *fileObject = nullptr;
    std::lock_guard lock(S().lock);
    if (handle == nullptr || !handle->open || handle->kind != kernel::Handle::Kind::File) {
        return kernel::STATUS_INVALID_HANDLE;
    }
    ++handle->fileObject->references;
    *fileObject = handle->fileObject;
    return kernel::STATUS_SUCCESS;
}

std::uint32_t VolumeDeviceType(Volume* volume) {
    return volume->spec.deviceType;
}

}  // namespace flt

