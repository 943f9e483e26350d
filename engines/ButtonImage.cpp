// The approval button of the registration request: a 196 x 128 GIF89a picture,
// drawn by scripts/make_register_button.py.
#include <string_view>

namespace OwnMails {

extern const std::string_view kButtonImageBase64;
const std::string_view kButtonImageBase64 =
    "R0lGODlhxACAAPIAAP///4AAgLBgsFAAUP///+DA4AAAAAAAACwAAAAAxACAAAAD/wi63P4wykmr\r\n"
    "vTjrzbv/YCiOZGmeaKqubOu+4iDPdG3feK7vfO//QOArSCwaj8gk8qRsOp/QaG6UE1iv2Kx2y+16\r\n"
    "v+CweEwmTz+2snrNbrvfblunBq/b7/j8trah6f+AgYJeNBl+g4iJinWFFzOLkJGSYDOOMpOYmZiV\r\n"
    "FIean6CBjRKPoaand5ykl6itrmqqEKWvtLWEMqsDtru8V7EOs73Crr8NwcPIocUMx8nOm7iyrM/U\r\n"
    "mcsAzdXaidfZ29+A3dPg5OHRwOPl6qnnxunr8HHtzO/x9mXiuvf7sPML3vwC7vGnAKDAg1byIVw4\r\n"
    "cIA0fQwjClDohoDFixe1ZCyDsf9jl44YNVr8OJINyJMlsaAkAIdim5UiWXJESfJkzJovV3rMAvON\r\n"
    "S5M0eaYc03NL0SsbjQ6dqTMp0qDyHD4w6MWpUJkCrJLR+hTrTStaub4Rm3WpSrNjfm5FCzYlWTBk\r\n"
    "47o1+xao16s42aglyrYs1rpV+8r9S7dvzrtnEXdts1cM4MV284ZJ+jgyl8GMCWKrN9kwXstKFV+e\r\n"
    "K7oO5tGlKWmmKhmu58ClK/uF/Od06MxS0UFkyjf1F9uuQw4C/nlN486+Ex9u/XunIOLK9a7mHLz3\r\n"
    "ctS9ZV+/jV16bne71yanrQa6ZO28u3M3Pj28dcevmUdHTj6P+bbjuRyvDj//+q//9OEXyH2zefcQ\r\n"
    "aACiNx+ACRbm33v/FdfPd/S419958anHYHFhZSiefPWZ0R6CHHq44YIlIqYgfxGiKCKF/1DXH0gx\r\n"
    "NaUiVDU6F+KOJIZGo08jVoQjfjbmKJyPOgqo4VivHWXgVDIi92NiRV41pZEdxmZic8k5yR6MBUUp\r\n"
    "kT37jXlPmWbGg2aa66zJZjluvglOnHJuQ2ed1dyJ5zP5BODnn4AGKuighBZq6KGIJqrooow26uih\r\n"
    "fT4q6aSUVmrppZgGEGmmnHbq6aeg/rlpqKSWauqpgI6K6qqstiqpqq7GKuusorZH6624tgprrrz2\r\n"
    "iumuvgYrLKPADmvssYIWe6iN/4LaeFGzKBW6krRN/emsRdZem61OliprKLOBXksAtCdRWy6h4AYg\r\n"
    "7rbppjupt+ZOG6628547qLz3VuvnuvvSq66+lMKLLrYDj9uvwYk+W7C5DEuqcL4II/owue/a+ujE\r\n"
    "9W67KMaAcqzxwg4TDPHGIlP8qsWOenzwxwmXnDHII4cc8cstz9yxy8Si3KjK/yLMs8kX48xyykKv\r\n"
    "rCjPP0OqM6NIi5z0zTaTHLXRQU/ds9QNPypwzFw/PfTORV8tc9YSh+01oVuTiy+70dK8Ns3xdlS2\r\n"
    "1e4e/LbWS0t9d91i9wwS2QX/vazZALNtb8VgbjaAzHsXTvXdX0Ms+LeEc1sv5P+Npu125VjDDDTR\r\n"
    "dHN+tNNhO6o51JGn7jncrDMtOtdzq4534jOMTfXng4eu+6RN7z66z6VnnvfvuPcd++qo2w5764Ab\r\n"
    "fzLtMigf+dnOJ7+8675f3zz1hZ4+Pc7U995859rfnnvxpg9fc9b8Qt344Xa3Tbnu7b6ePvSLV82+\r\n"
    "v4ZP3j/4jiuf3wAmvuc9RHqbc5ba5Pc/m/ENffGzXPVkhyjvIeuCt7IgBjfoKg1y8IOn8iAIRwgq\r\n"
    "EZLwhJkyIQpXGDD1sfCFoVIhDGeYKBnS8IZocyEOd2hAKOWPh0Cs1DUUF8Qizi4XRkziooZIRCU6\r\n"
    "0VBMrN0Tp5gszYTph1TMIhNwm5jFKW6Ri1104hdpEEYxfhGMZQziGa+YxiKu8YpYbCMNR2EBMspx\r\n"
    "jm+sUPTuuEI+cMAGfByhHNCAg0AK6wwhkIIiF8nIRuKACY6MpCQn+YMhUPKSmFQkDDbJyU568pOg\r\n"
    "DKUoR0nKUprylKhMJSgTAAA7";

}  // namespace OwnMails
