// Interface keys are the types' mangled names, so they are derived from the
// types; these are the strings the host compares them with byte for byte.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "Contract.h"
#include "Detector.h"
#include "HostEvents.h"
#include "HostServices.h"
#include "MultimediaBuffer.h"

namespace {

using namespace ORQ8;

TEST(ContractKey, EveryKeyTheHostUsesComesOutOfItsType)
{
    EXPECT_STREQ(ContractKey<IContract>(), "N4ORQ89IContractE");
    EXPECT_STREQ(ContractKey<IDestroyable>(), "N4ORQ812IDestroyableE");
    EXPECT_STREQ(ContractKey<ILogger>(), "N4ORQ87ILoggerE");
    EXPECT_STREQ(ContractKey<ISyncAdjuster>(), "N4ORQ813ISyncAdjusterE");
    EXPECT_STREQ(ContractKey<PLUGIN::IPluginModule>(), "N4ORQ86PLUGIN13IPluginModuleE");
    EXPECT_STREQ(ContractKey<Analytics::IModule>(), "N4ORQ89Analytics7IModuleE");
    EXPECT_STREQ(ContractKey<Analytics::IDetector>(), "N4ORQ89Analytics9IDetectorE");
    EXPECT_STREQ(ContractKey<Analytics::IMediaReceiver>(), "N4ORQ89Analytics14IMediaReceiverE");
    EXPECT_STREQ(ContractKey<Analytics::ITargetAdjuster>(), "N4ORQ89Analytics15ITargetAdjusterE");
    EXPECT_STREQ(ContractKey<MFF::IAudioBufferPcm>(), "N4ORQ83MFF15IAudioBufferPcmE");
}

// An object with two faces that answers the way plug-in objects do: by
// comparing the key's text, not its address.
class TwoFaced : public IDestroyable, public ILogger {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        if (key == nullptr)
            return nullptr;
        if (std::strcmp(key, ContractKey<IContract>()) == 0 || std::strcmp(key, ContractKey<IDestroyable>()) == 0)
            return static_cast<IDestroyable*>(this);
        if (std::strcmp(key, ContractKey<ILogger>()) == 0)
            return static_cast<ILogger*>(this);
        return nullptr;
    }
    void Destroy() override {}
    std::uint32_t GetLogLevel() override { return 0; }
    std::int32_t Log(std::uint32_t, const char*) override { return 0; }
    std::int32_t Log(std::uint32_t, const char*, int, const char*, const char*) override { return 0; }
};

TEST(QueryContract, ReturnsTheFaceTheKeyNamesAdjustedToItsAddress)
{
    TwoFaced object;
    IContract* asContract = static_cast<IDestroyable*>(&object);
    EXPECT_EQ(QueryContract<ILogger>(asContract), static_cast<ILogger*>(&object));
    EXPECT_EQ(QueryContract<IDestroyable>(asContract), static_cast<IDestroyable*>(&object));
    // The faces sit at different addresses; the answer is the face, not the object.
    EXPECT_NE(static_cast<void*>(QueryContract<ILogger>(asContract)), static_cast<void*>(asContract));
}

TEST(QueryContract, UnknownFaceOrNoObjectGivesNull)
{
    TwoFaced object;
    EXPECT_EQ(QueryContract<Analytics::IMediaReceiver>(static_cast<IDestroyable*>(&object)), nullptr);
    EXPECT_EQ(QueryContract<ILogger>(nullptr), nullptr);
}

TEST(QueryContract, KeysCompareByTextNotByAddress)
{
    TwoFaced object;
    const std::string copy = "N4ORQ87ILoggerE";  // same text, other storage
    EXPECT_EQ(object.GetContract(copy.c_str()), static_cast<ILogger*>(&object));
    EXPECT_EQ(object.GetContract("N4ORQ87ILoggerEx"), nullptr);
    EXPECT_EQ(object.GetContract(nullptr), nullptr);
}

}  // namespace
