// The PnP manager: builds a device stack for every connected node of the USB tree (bus
// driver's PDO, function driver's FDO, and the filter driver if it attaches), starts it,
// powers it down and up with system suspend and resume, and tears it down on removal; it
// loads the filter's image for the stacks that need it and unloads it once nothing does.
// All its work runs on its own thread, "pnp", at PASSIVE_LEVEL; other threads hand it jobs
// and wait for them.
#pragma once

#include <ntddk.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class Machine;
struct UsbNode;
struct WdfDevice;
class UsbDeviceThread;

struct DeviceStack {
    UsbNode* node = nullptr;
    DEVICE_OBJECT pdo = {};
    DEVICE_OBJECT fdo = {};
    WdfDevice* filter = nullptr;
    bool started = false;
    bool removed = false;
};

class PnpManager {
  public:
    explicit PnpManager(Machine& machine);
    ~PnpManager();

    // Spawns the PnP thread; it ends after Shutdown.
    void Start();
    void Shutdown();

    // Builds the stacks of what is present at power-on (controllers and their root hubs).
    void Boot();
    // Each of these runs as a job on the PnP thread; called from another simulated thread
    // it waits until the job is done.
    // Installs the filter: its image is loaded at once and every stack is rebuilt with it.
    // The status is DriverEntry's; a filter whose image fails to load is left out of every
    // stack until it is installed again.
    NTSTATUS LoadDriver(PDRIVER_INITIALIZE entry);
    // Removes the filter: every stack is rebuilt without it, and the image goes as soon as
    // no program holds one of its devices open.
    void UnloadDriver();
    void Plug(UsbNode* node, UsbNode* hub, int port);
    void Unplug(UsbNode* node);
    void Suspend();
    void Resume();
    // SetupAPI's disable: the device's stack is stopped and removed, with everything below
    // it, and the device stays disabled, across unplugging and plugging, until enabled.
    // Enabling builds and starts the stacks again. Each says so in a "pnp" line.
    void Disable(UsbNode* node);
    void Enable(UsbNode* node);
    // A program closed a handle: the device object it referenced may have been the last
    // thing keeping the driver's image loaded.
    void HandleClosed();

    // Between Suspend and Resume: devices answer nothing meanwhile.
    bool suspended() const { return suspended_; }
    bool driver_loaded() const { return driver_loaded_; }
    // The filter is installed, whether or not its image is loaded just now.
    bool driver_installed() const { return filter_entry_ != nullptr; }
    PDRIVER_OBJECT filter_driver() { return &filter_driver_; }

  private:
    struct Job {
        std::function<void()> work;
        bool done = false;
    };
    void Execute(std::function<void()> work);
    void ThreadMain();

    NTSTATUS LoadImage();
    bool DriverUnused() const;
    void UnloadImageIfUnused();
    void BuildStack(UsbNode* node);
    void TearDownStack(UsbNode* node, bool surprise);
    void RestartAll();
    NTSTATUS SendIrp(DeviceStack* stack, UCHAR major, UCHAR minor,
                     const std::function<void(PIO_STACK_LOCATION)>& parameters);
    NTSTATUS SendPower(DeviceStack* stack, POWER_STATE_TYPE type, POWER_STATE state);
    void Log(const std::string& text);

    Machine& machine_;
    std::deque<Job*> queue_;
    bool shutting_down_ = false;
    bool started_ = false;
    // The installed filter's entry point; nullptr while no filter is installed.
    PDRIVER_INITIALIZE filter_entry_ = nullptr;
    bool driver_loaded_ = false;
    bool suspended_ = false;
    DRIVER_OBJECT filter_driver_ = {};
    DRIVER_OBJECT bus_driver_ = {};
    DRIVER_OBJECT function_driver_ = {};
    std::deque<std::unique_ptr<DeviceStack>> stacks_;
    std::vector<std::unique_ptr<UsbDeviceThread>> device_threads_;
};

}  // namespace sim
