#include "Events.h"

#include <cstring>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Logger.h"
#include "MultimediaBuffer.h"

namespace OrqHost {

std::string EventKindName(std::int32_t kind)
{
    switch (kind) {
    case ORQ8::Analytics::EventBegin: return "begin";
    case ORQ8::Analytics::EventEnd: return "end";
    case ORQ8::Analytics::EventMomentary: return "momentary";
    default: return "target list";
    }
}

namespace {

std::string Key(const char* key) { return key != nullptr ? key : ""; }

// Texts with blanks, quotes or nothing at all are quoted in the text form.
std::string QuotedIfNeeded(const std::string& text)
{
    if (!text.empty() && text.find_first_of(" \t\"=") == std::string::npos)
        return text;
    return nlohmann::json(text).dump();
}

}  // namespace

// The argument store of one event.
class HostEventArgs : public ORQ8::Analytics::IEventArgsAdjuster {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        if (key != nullptr && std::strcmp(key, ORQ8::ContractKey<ORQ8::Analytics::IEventArgsAdjuster>()) == 0)
            return static_cast<ORQ8::Analytics::IEventArgsAdjuster*>(this);
        return nullptr;
    }

    std::int64_t SetValue(const char* key, bool value) override
    {
        return Store(key, value ? "true" : "false", value ? "true" : "false");
    }
    std::int64_t SetValue(const char* key, std::int32_t value) override
    {
        return Store(key, std::to_string(value), std::to_string(value));
    }
    std::int64_t SetValue(const char* key, double value) override
    {
        return Store(key, fmt::format("{}", value), nlohmann::json(value).dump());
    }
    std::int64_t SetValue(const char* key, const char* value) override
    {
        const std::string text = value != nullptr ? value : "";
        return Store(key, QuotedIfNeeded(text), nlohmann::json(text).dump());
    }
    // Geometry objects are opaque to this host: it notes that one was given.
    std::int64_t SetRectangleArray(const char* key, ORQ8::Analytics::RectangleArray*) override
    {
        return Store(key, "<rectangles>", "\"<rectangles>\"");
    }
    std::int64_t SetMask(const char* key, ORQ8::Analytics::Mask*) override
    {
        return Store(key, "<mask>", "\"<mask>\"");
    }
    std::int64_t SetPolylineArray(const char* key, ORQ8::Analytics::PolylineArray*) override
    {
        return Store(key, "<polylines>", "\"<polylines>\"");
    }
    std::int64_t SetMultimediaBuffer(const char* key, ORQ8::MFF::IMultimediaBuffer* buffer) override
    {
        ORQ8::MFF::BufferHolder<> held(buffer);
        std::string name = "<buffer>";
        if (buffer != nullptr && buffer->GetBufferName() != nullptr)
            name = fmt::format("<buffer {}>", buffer->GetBufferName());
        buffers.push_back(std::move(held));
        return Store(key, QuotedIfNeeded(name), nlohmann::json(name).dump());
    }
    std::int64_t SetNumber(std::uint64_t number) override
    {
        return Store("Number", std::to_string(number), std::to_string(number));
    }

    std::vector<EventArgument> args;

private:
    std::int64_t Store(const char* key, std::string text, std::string json)
    {
        // A key set twice keeps its last value, in the place it was first set.
        const std::string name = Key(key);
        for (EventArgument& arg : args)
            if (arg.key == name) {
                arg.text = std::move(text);
                arg.json = std::move(json);
                return 0;
            }
        args.push_back({name, std::move(text), std::move(json)});
        return 0;
    }

    std::vector<ORQ8::MFF::BufferHolder<>> buffers;
};

class HostEvent : public ORQ8::Analytics::IHostEvent {
public:
    HostEvent(HostEventFactory& factory, std::string name, std::uint64_t timestamp, std::int32_t kind)
        : factory(factory), name(std::move(name)), timestamp(timestamp), kind(kind)
    {
    }

    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        if (key != nullptr && std::strcmp(key, ORQ8::ContractKey<ORQ8::Analytics::IHostEvent>()) == 0)
            return static_cast<ORQ8::Analytics::IHostEvent*>(this);
        return nullptr;
    }

    const char* GetName() override { return name.c_str(); }
    // Both end the event and free it: the raiser touches it no more.
    std::int32_t Commit() override
    {
        factory.Ended(this, true);
        return 0;
    }
    std::int32_t Cancel() override
    {
        factory.Ended(this, false);
        return 0;
    }
    ORQ8::Analytics::IEventArgsAdjuster* GetArgsAdjuster() override { return &args; }

    CommittedEvent Describe(const std::string& input) const
    {
        CommittedEvent e;
        e.input = input;
        e.name = name;
        e.timestamp = timestamp;
        e.kind = kind;
        e.args = args.args;
        return e;
    }

private:
    HostEventFactory& factory;
    const std::string name;
    const std::uint64_t timestamp;
    const std::int32_t kind;
    HostEventArgs args;
};

void EventSink::Publish(const CommittedEvent& event)
{
    committed.fetch_add(1);
    if (!console.WriteOut(Format(event)))
        writeFailures.fetch_add(1);
}

std::string EventSink::Format(const CommittedEvent& event) const
{
    const bool targetList = event.kind == 0;
    if (json) {
        // Arguments are kept as JSON texts; they are spliced in as they are.
        std::string args = "{";
        for (const EventArgument& arg : event.args) {
            if (args.size() > 1)
                args += ',';
            args += nlohmann::json(arg.key).dump() + ':' + arg.json;
        }
        args += '}';
        std::string line = "{";
        if (!targetList)
            line += fmt::format("\"time\":\"{}\",\"timestamp\":{},", IsoTimeUtc(event.timestamp), event.timestamp);
        else
            line += fmt::format("\"listValue\":{},", event.timestamp);
        line += fmt::format("\"input\":{},\"event\":{},\"kind\":\"{}\",\"args\":{}}}", nlohmann::json(event.input).dump(),
                            nlohmann::json(event.name).dump(), EventKindName(event.kind), args);
        return line;
    }
    std::string line = targetList ? fmt::format("list value {}", event.timestamp) : IsoTimeUtc(event.timestamp);
    line += "  " + event.input + "  " + event.name;
    if (event.kind != ORQ8::Analytics::EventMomentary)
        line += " (" + EventKindName(event.kind) + ")";
    for (const EventArgument& arg : event.args)
        line += "  " + arg.key + "=" + arg.text;
    return line;
}

HostEventFactory::HostEventFactory(EventSink& sink, std::string input,
                                   std::function<void(const CommittedEvent&)> observer)
    : sink(sink), input(std::move(input)), observer(std::move(observer))
{
}

HostEventFactory::~HostEventFactory()
{
    for (HostEvent* event : open)
        delete event;
}

void* HostEventFactory::DoGetContract(const char* key)
{
    if (key == nullptr)
        return nullptr;
    if (std::strcmp(key, ORQ8::ContractKey<ORQ8::Analytics::IHostEventFactory>()) == 0 ||
        std::strcmp(key, ORQ8::ContractKey<ORQ8::IContract>()) == 0)
        return static_cast<ORQ8::Analytics::IHostEventFactory*>(this);
    return nullptr;
}

ORQ8::Analytics::IHostEvent* HostEventFactory::CreateEvent(ORQ8::Analytics::IDetector*, const char* name,
                                                          std::uint64_t timestamp, std::int32_t kind)
{
    if (name == nullptr || kind < ORQ8::Analytics::EventBegin || kind > ORQ8::Analytics::EventMomentary) {
        ++refusedHere;
        sink.refused.fetch_add(1);
        return nullptr;
    }
    auto* event = new HostEvent(*this, name, timestamp, kind);
    open.insert(event);
    return event;
}

ORQ8::Analytics::IHostEvent* HostEventFactory::CreateTargetListEvent(ORQ8::Analytics::IDetector*, const char* name,
                                                                    std::uint64_t value)
{
    if (name == nullptr) {
        ++refusedHere;
        sink.refused.fetch_add(1);
        return nullptr;
    }
    auto* event = new HostEvent(*this, name, value, 0);
    open.insert(event);
    return event;
}

void HostEventFactory::Ended(HostEvent* event, bool committed)
{
    std::unique_ptr<HostEvent> owned(event);
    open.erase(event);
    if (!committed) {
        ++cancelledHere;
        sink.cancelled.fetch_add(1);
        return;
    }
    const CommittedEvent described = owned->Describe(input);
    ++byName[described.name];
    sink.Publish(described);
    if (observer)
        observer(described);
}

}  // namespace OrqHost
