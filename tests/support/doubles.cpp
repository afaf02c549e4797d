#include "support/doubles.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

void ScriptedOperator::message_box(const std::string& text, const std::string& caption, Icon icon)
{
    if (on_modal)
        on_modal();
    shown.push_back({"message", text, caption, icon});
}

bool ScriptedOperator::ask_yes_no(const std::string& text, const std::string& caption, Icon icon)
{
    if (on_modal)
        on_modal();
    shown.push_back({"question", text, caption, icon});
    if (answers.empty())
        return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

namespace {

bool take(std::deque<std::string>& q, std::string& out)
{
    if (q.empty())
        return false;
    out = q.front();
    q.pop_front();
    return !out.empty();
}

} // namespace

bool ScriptedOperator::choose_save_file(const std::string& filter, std::string& path)
{
    if (on_modal)
        on_modal();
    shown.push_back({"save", filter, "", Icon::None});
    return take(save_files, path);
}

bool ScriptedOperator::choose_open_file(const std::string& filter, std::string& path)
{
    if (on_modal)
        on_modal();
    shown.push_back({"open", filter, "", Icon::None});
    return take(open_files, path);
}

bool ScriptedOperator::choose_folder(const std::string& start, std::string& path)
{
    if (on_modal)
        on_modal();
    shown.push_back({"folder", start, "", Icon::None});
    return take(folders, path);
}

void ScriptedOperator::pump_events()
{
    ++pumps;
    if (on_pump)
        on_pump();
}

int ScriptedOperator::count(const std::string& kind) const
{
    int n = 0;
    for (const auto& s : shown)
        n += s.kind == kind;
    return n;
}

usb::DeviceHandle RecordingUsb::open_device_with_vid_pid(uint16_t vendor, uint16_t product)
{
    if (!present || vendor != 0xFE27 || product != 0xAC02)
        return nullptr;
    ++opens;
    ++open_handles;
    return reinterpret_cast<usb::DeviceHandle>(static_cast<uintptr_t>(0x1000 + opens));
}

int RecordingUsb::control_transfer(usb::DeviceHandle h, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                                   unsigned char* data, uint16_t length, unsigned int)
{
    if (!h)
        return usb::ERROR_INVALID_PARAM;
    requests.push_back({type, request, value, index, std::vector<uint8_t>(data, data + length)});
    return length;
}

std::vector<std::vector<uint8_t>> RecordingUsb::sent(uint8_t request) const
{
    std::vector<std::vector<uint8_t>> out;
    for (const auto& r : requests)
        if (r.request == request)
            out.push_back(r.data);
    return out;
}

TempDir::TempDir()
{
    static std::atomic<int> n{0};
    std::random_device rd;
    auto base =
        std::filesystem::temp_directory_path() / ("ondaris-test-" + std::to_string(rd()) + "-" + std::to_string(n++));
    std::filesystem::create_directories(base);
    path_ = base.string();
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

std::vector<uint8_t> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
