// Where the commands meet the host link: at activation it installs the key
// handlers of the list of firms (plugin/fees/) and of the cash desk
// (plugin/cash/), which it gets from here. The commands use the host link;
// it names none of them.
#include "plugin/list_handlers.h"
#include "plugin/hostlink/module.h"

namespace q7 {

const command_key_handlers command_handlers{&plot_list_handler, &cash_list_handler};

}  // namespace q7
