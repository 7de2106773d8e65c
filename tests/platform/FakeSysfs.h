#pragma once
// A sysfs tree of the test's own in a temporary folder, laid out as the kernel lays out the
// parts that drive discovery reads: class/block/<name>/device links to a SCSI device folder
// named host:channel:id:lun, scsi_generic/sgN under it, and dev/{block,char}/MAJ:MIN/device.
// Device nodes go to a folder of their own, NodeRoot(), as NodeRoot()/dev/sg1 and so on.

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace norvik_test {

class FakeSysfs {
public:
    FakeSysfs()
    {
        char pattern[] = "/tmp/norvik-sysfs-XXXXXX";
        const char* made = mkdtemp(pattern);
        root = made != nullptr ? made : "";
    }
    ~FakeSysfs()
    {
        std::error_code ignored;
        if (!root.empty()) std::filesystem::remove_all(root, ignored);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    const char* Root() const { return root.c_str(); }
    bool Made() const { return !root.empty(); }

    // A block device with its SCSI device folder; genericName empty: no generic node.
    void AddBlockDevice(const std::string& name, const std::string& address, const std::string& genericName = "")
    {
        const std::filesystem::path device = root / "devices" / address;
        std::filesystem::create_directories(device);
        if (!genericName.empty()) std::filesystem::create_directories(device / "scsi_generic" / genericName);
        const std::filesystem::path entry = root / "class" / "block" / name;
        std::filesystem::create_directories(entry);
        std::filesystem::create_directory_symlink("../../../devices/" + address, entry / "device");
    }

    // An entry of class/block with nothing below it: a loop device, a partition, or a drive
    // whose device link is missing.
    void AddPlainBlockEntry(const std::string& name)
    {
        std::filesystem::create_directories(root / "class" / "block" / name);
    }

    // dev/<kind>/<MAJ:MIN>/device -> the SCSI device folder named address.
    void AddDeviceNumber(const std::string& kind, const std::string& number, const std::string& address)
    {
        std::filesystem::create_directories(root / "devices" / address);
        const std::filesystem::path entry = root / "dev" / kind / number;
        std::filesystem::create_directories(entry);
        std::filesystem::create_directory_symlink("../../../devices/" + address, entry / "device");
    }

    // The device number sysfs gives in <entry>/dev, entry relative to the root
    // ("class/block/sr0", "class/block/sr0/device/scsi_generic/sg1").
    void SetDeviceNumber(const std::string& entry, dev_t number)
    {
        std::ofstream(root / entry / "dev") << major(number) << ':' << minor(number) << '\n';
    }

    std::string NodeRoot() const { return (root / "nodes").string(); }

    // NodeRoot()/dev/<name> as a device node of the kind (S_IFCHR, S_IFBLK) and number; false
    // when this process may not make device nodes (it needs CAP_MKNOD).
    bool AddDeviceNode(const std::string& name, mode_t kind, dev_t number, mode_t permissions = 0600)
    {
        const std::string path = NodePath(name);
        return mknod(path.c_str(), kind | permissions, number) == 0 && chmod(path.c_str(), permissions) == 0;
    }
    // NodeRoot()/dev/<name> as a symbolic link to target, or as an empty regular file.
    void AddNodeLink(const std::string& name, const std::string& target)
    {
        std::filesystem::create_symlink(target, NodePath(name));
    }
    void AddNodeFile(const std::string& name) { std::ofstream(NodePath(name)).flush(); }

private:
    std::string NodePath(const std::string& name)
    {
        std::filesystem::create_directories(root / "nodes" / "dev");
        return (root / "nodes" / "dev" / name).string();
    }

    std::filesystem::path root;
};

}  // namespace norvik_test
