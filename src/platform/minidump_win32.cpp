// The minidump format: a header, a directory of streams, the streams. Everything is gathered in memory
// and written at once.
#include "platform/minidump_win32.h"

#include <windows.h>
#include <dbghelp.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/os_version.h"

namespace kelvane {
namespace {

static_assert(sizeof(MINIDUMP_HEADER) == 32 && sizeof(MINIDUMP_DIRECTORY) == 12 && sizeof(MINIDUMP_THREAD) == 48 &&
                  sizeof(MINIDUMP_MODULE) == 108 && sizeof(MINIDUMP_EXCEPTION_STREAM) == 168 &&
                  sizeof(MINIDUMP_MEMORY_DESCRIPTOR) == 16,
              "the file format's own sizes");

// "MDMP" read as a little-endian number (the header's macro is a multi-character constant).
constexpr ULONG32 minidump_signature = 0x504D444D;
// More of the stack than a debugger needs to walk the crashed thread's calls.
constexpr std::size_t stack_limit = std::size_t{256} * 1024;
constexpr DWORD module_limit = 512;
// A CodeView record names the program database; longer ones are not real.
constexpr DWORD codeview_limit = 1024;

class DumpBuffer {
public:
    template <typename T>
    RVA append(const T& value) {
        return append_bytes(&value, sizeof value);
    }
    RVA append_bytes(const void* data, std::size_t size) {
        // Every part starts on an eight-byte boundary, as dbghelp's own files do.
        bytes_.resize((bytes_.size() + 7) / 8 * 8);
        const auto at = static_cast<RVA>(bytes_.size());
        const auto* first = static_cast<const unsigned char*>(data);
        bytes_.insert(bytes_.end(), first, first + size);
        return at;
    }
    // A list stream: its count, and right after it (unaligned) its entries.
    RVA append_list(const void* entries, std::size_t count, std::size_t entry_size) {
        const RVA at = append(static_cast<ULONG32>(count));
        const auto* first = static_cast<const unsigned char*>(entries);
        bytes_.insert(bytes_.end(), first, first + count * entry_size);
        return at;
    }
    RVA append_string(const std::wstring& text) {
        const auto length = static_cast<ULONG32>(text.size() * sizeof(wchar_t));
        const RVA at = append(length);
        bytes_.insert(bytes_.end(), reinterpret_cast<const unsigned char*>(text.c_str()),
                      reinterpret_cast<const unsigned char*>(text.c_str() + text.size() + 1));
        return at;
    }
    template <typename T>
    void put(RVA at, const T& value) {
        std::memcpy(bytes_.data() + at, &value, sizeof value);
    }
    [[nodiscard]] const std::vector<unsigned char>& bytes() const noexcept { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
};

template <typename T>
bool read(HANDLE process, std::uint64_t address, T& value) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)), &value,
                             sizeof value, &done) != 0 &&
           done == sizeof value;
}

// The stack from the stack pointer to the end of its committed region, which is the stack's base.
std::vector<unsigned char> read_stack(HANDLE process, std::uint64_t stack_pointer) {
    MEMORY_BASIC_INFORMATION region{};
    const auto* at = reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(stack_pointer));
    if (VirtualQueryEx(process, at, &region, sizeof region) == 0) {
        return {};
    }
    const auto* end = static_cast<const unsigned char*>(region.BaseAddress) + region.RegionSize;
    std::vector<unsigned char> stack(std::min<std::size_t>(static_cast<std::size_t>(end - at), stack_limit));
    SIZE_T done = 0;
    if (ReadProcessMemory(process, at, stack.data(), stack.size(), &done) == 0) {
        return {};
    }
    stack.resize(done);
    return stack;
}

// The module's entry, its name and its CodeView record (from the image's debug directory) appended.
MINIDUMP_MODULE describe_module(HANDLE process, HMODULE module, DumpBuffer& dump) {
    MINIDUMP_MODULE entry{};
    MODULEINFO info{};
    GetModuleInformation(process, module, &info, sizeof info);
    const auto base = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll));
    entry.BaseOfImage = base;
    entry.SizeOfImage = info.SizeOfImage;
    wchar_t name[MAX_PATH] = {};
    GetModuleFileNameExW(process, module, name, MAX_PATH);
    entry.ModuleNameRva = dump.append_string(name);
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    if (!read(process, base, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !read(process, base + static_cast<std::uint64_t>(dos.e_lfanew), nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
        nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        return entry;
    }
    entry.CheckSum = nt.OptionalHeader.CheckSum;
    entry.TimeDateStamp = nt.FileHeader.TimeDateStamp;
    const IMAGE_DATA_DIRECTORY& debug = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    for (DWORD offset = 0; offset + sizeof(IMAGE_DEBUG_DIRECTORY) <= debug.Size;
         offset += sizeof(IMAGE_DEBUG_DIRECTORY)) {
        IMAGE_DEBUG_DIRECTORY directory{};
        if (!read(process, base + debug.VirtualAddress + offset, directory)) {
            break;
        }
        if (directory.Type != IMAGE_DEBUG_TYPE_CODEVIEW || directory.SizeOfData == 0 ||
            directory.SizeOfData > codeview_limit || directory.AddressOfRawData == 0) {
            continue;
        }
        std::vector<unsigned char> record(directory.SizeOfData);
        SIZE_T done = 0;
        if (ReadProcessMemory(process, reinterpret_cast<const void*>(base + directory.AddressOfRawData), record.data(),
                              record.size(), &done) != 0 &&
            done == record.size()) {
            entry.CvRecord.DataSize = static_cast<ULONG32>(record.size());
            entry.CvRecord.Rva = dump.append_bytes(record.data(), record.size());
        }
        break;
    }
    return entry;
}

MINIDUMP_SYSTEM_INFO describe_system(DumpBuffer& dump) {
    MINIDUMP_SYSTEM_INFO system{};
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    system.ProcessorArchitecture = info.wProcessorArchitecture;
    system.ProcessorLevel = info.wProcessorLevel;
    system.ProcessorRevision = info.wProcessorRevision;
    system.NumberOfProcessors = static_cast<UCHAR>(std::min<DWORD>(info.dwNumberOfProcessors, 255));
    system.ProductType = VER_NT_WORKSTATION;
    OsVersion version;
    if (read_os_version(version)) {
        system.MajorVersion = version.major;
        system.MinorVersion = version.minor;
        system.BuildNumber = version.build;
    }
    system.PlatformId = VER_PLATFORM_WIN32_NT;
    system.CSDVersionRva = dump.append_string(L"");
    return system;
}

}  // namespace

bool write_minidump(HANDLE process, DWORD thread_id, std::uint64_t pointers, HANDLE file, DWORD& error) {
    EXCEPTION_POINTERS crash{};
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    if (!read(process, pointers, crash) ||
        !read(process, reinterpret_cast<std::uintptr_t>(crash.ExceptionRecord), record) ||
        !read(process, reinterpret_cast<std::uintptr_t>(crash.ContextRecord), context)) {
        error = GetLastError();
        return false;
    }
    constexpr ULONG32 stream_count = 5;
    DumpBuffer dump;
    const RVA header_at = dump.append(MINIDUMP_HEADER{});
    MINIDUMP_DIRECTORY directory[stream_count] = {};
    const RVA directory_at = dump.append(directory);

    const MINIDUMP_LOCATION_DESCRIPTOR context_location{static_cast<ULONG32>(sizeof context), dump.append(context)};
#if defined(_M_X64) || defined(__x86_64__)
    const std::uint64_t stack_pointer = context.Rsp;
#else
    const std::uint64_t stack_pointer = 0;
#endif
    const std::vector<unsigned char> stack = read_stack(process, stack_pointer);
    MINIDUMP_MEMORY_DESCRIPTOR stack_memory{};
    stack_memory.StartOfMemoryRange = stack_pointer;
    stack_memory.Memory.DataSize = static_cast<ULONG32>(stack.size());
    stack_memory.Memory.Rva = stack.empty() ? 0 : dump.append_bytes(stack.data(), stack.size());

    MINIDUMP_THREAD thread{};
    thread.ThreadId = thread_id;
    thread.Stack = stack_memory;
    thread.ThreadContext = context_location;
    const RVA threads_at = dump.append_list(&thread, 1, sizeof thread);
    directory[0] = {ThreadListStream, {static_cast<ULONG32>(sizeof(ULONG32) + sizeof thread), threads_at}};

    std::vector<HMODULE> modules(module_limit);
    DWORD needed = 0;
    if (EnumProcessModulesEx(process, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed,
                             LIST_MODULES_ALL) == 0) {
        needed = 0;
    }
    modules.resize(std::min<std::size_t>(needed / sizeof(HMODULE), modules.size()));
    std::vector<MINIDUMP_MODULE> entries;
    entries.reserve(modules.size());
    for (const HMODULE module : modules) {
        entries.push_back(describe_module(process, module, dump));
    }
    const RVA modules_at = dump.append_list(entries.data(), entries.size(), sizeof(MINIDUMP_MODULE));
    directory[1] = {ModuleListStream,
                    {static_cast<ULONG32>(sizeof(ULONG32) + entries.size() * sizeof(MINIDUMP_MODULE)), modules_at}};

    const ULONG32 ranges = stack.empty() ? 0 : 1;
    const RVA memory_at = dump.append_list(&stack_memory, ranges, sizeof stack_memory);
    directory[2] = {MemoryListStream,
                    {static_cast<ULONG32>(sizeof(ULONG32) + ranges * sizeof stack_memory), memory_at}};

    MINIDUMP_EXCEPTION_STREAM exception{};
    exception.ThreadId = thread_id;
    exception.ExceptionRecord.ExceptionCode = record.ExceptionCode;
    exception.ExceptionRecord.ExceptionFlags = record.ExceptionFlags;
    exception.ExceptionRecord.ExceptionRecord = reinterpret_cast<std::uintptr_t>(record.ExceptionRecord);
    exception.ExceptionRecord.ExceptionAddress = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
    exception.ExceptionRecord.NumberParameters = std::min<DWORD>(record.NumberParameters, EXCEPTION_MAXIMUM_PARAMETERS);
    for (DWORD i = 0; i < exception.ExceptionRecord.NumberParameters; ++i) {
        exception.ExceptionRecord.ExceptionInformation[i] = record.ExceptionInformation[i];
    }
    exception.ThreadContext = context_location;
    directory[3] = {ExceptionStream, {static_cast<ULONG32>(sizeof exception), dump.append(exception)}};

    const MINIDUMP_SYSTEM_INFO system = describe_system(dump);
    directory[4] = {SystemInfoStream, {static_cast<ULONG32>(sizeof system), dump.append(system)}};

    MINIDUMP_HEADER header{};
    header.Signature = minidump_signature;
    header.Version = MINIDUMP_VERSION;
    header.NumberOfStreams = stream_count;
    header.StreamDirectoryRva = directory_at;
    header.TimeDateStamp = static_cast<ULONG32>(std::time(nullptr));
    header.Flags = MiniDumpNormal;
    dump.put(header_at, header);
    dump.put(directory_at, directory);

    const std::vector<unsigned char>& bytes = dump.bytes();
    DWORD written = 0;
    if (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) == 0 ||
        written != bytes.size()) {
        error = GetLastError();
        return false;
    }
    return true;
}

}  // namespace kelvane
