# XFCE's panel with its indicator plugin along the top of the screen, the
# application indicators (Ayatana) at its left end, fed by their service,
# and XFCE's window manager, which publishes the work area without the panel.

desktop_requires() {
  echo xfce4-panel xfwm4 /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd \
    /usr/libexec/ayatana-indicator-application/ayatana-indicator-application-service
}

start_desktop() {
  local channel=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
  mkdir -p "$channel"
  # One panel, 26 px high, along the top: the indicators first, then space.
  cat >"$channel/xfce4-panel.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="26"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="indicator"/>
    <property name="plugin-2" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
  </property>
</channel>
XML
  spawn xfconfd /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd
  wait_for_name org.xfce.Xfconf || return 1
  spawn xfwm4 xfwm4 --compositor=off
  spawn indicators /usr/libexec/ayatana-indicator-application/ayatana-indicator-application-service
  wait_for_name org.kde.StatusNotifierWatcher || return 1
  spawn panel xfce4-panel
  wait_for_window '^xfce4-panel$'
}
