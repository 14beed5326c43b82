<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Admin</name>
    <message>
        <source>方式(修改/新建)</source>
        <translation>Scheme (edit/new)</translation>
    </message>
    <message>
        <source>电压倍率方向</source>
        <translation>U scale dir.</translation>
    </message>
    <message>
        <source>电压倍率</source>
        <translation>U scale</translation>
    </message>
    <message>
        <source>电流倍率方向</source>
        <translation>I scale dir.</translation>
    </message>
    <message>
        <source>电流倍率</source>
        <translation>I scale</translation>
    </message>
    <message>
        <source>功率倍率方向</source>
        <translation>P scale dir.</translation>
    </message>
    <message>
        <source>功率倍率</source>
        <translation>P scale</translation>
    </message>
    <message>
        <source>电能倍率方向</source>
        <translation>E scale dir.</translation>
    </message>
    <message>
        <source>电能倍率</source>
        <translation>E scale</translation>
    </message>
    <message>
        <source>通讯协议</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>市电报警系数</source>
        <translation>Mains alarm</translation>
    </message>
    <message>
        <source>参数类型使能</source>
        <translation>Param. type</translation>
    </message>
    <message>
        <source>分段标定使能</source>
        <translation>Segment cal.</translation>
    </message>
    <message>
        <source>参数符号位使能</source>
        <translation>Sign bit</translation>
    </message>
    <message>
        <source>功率因数方向使能</source>
        <translation>PF direction</translation>
    </message>
    <message>
        <source>操作数据库失败！</source>
        <translation>Database operation failed!</translation>
    </message>
    <message>
        <source>操作数据库失败!</source>
        <translation>Database operation failed!</translation>
    </message>
    <message>
        <source>方案 %1 已在别处被修改（载入之后）。是否用本窗口的内容覆盖？</source>
        <translation>Scheme %1 was changed elsewhere after it was loaded. Overwrite it with the contents of this window?</translation>
    </message>
    <message>
        <source>对不起，用户名不存在！</source>
        <translation>Sorry, this user name does not exist!</translation>
    </message>
    <message>
        <source>对不起，密码不正确！</source>
        <translation>Sorry, the password is wrong!</translation>
    </message>
    <message>
        <source>方式名称不能为空!</source>
        <translation>The scheme name must not be empty!</translation>
    </message>
    <message>
        <source>已选参数列表为空,请添加参数!</source>
        <translation>The list of selected parameters is empty, please add parameters!</translation>
    </message>
    <message>
        <source>对不起,界面配置数据不能为空!</source>
        <translation>Sorry, the scheme values must not be empty!</translation>
    </message>
    <message>
        <source>对不起,在亚奥协议下,配置的最大寄存器个数为127，您配置的寄存器个数已经大于了127!</source>
        <translation>Sorry, the Yaao protocol allows at most 127 registers, and this scheme has more than 127!</translation>
    </message>
    <message>
        <source>对不起,系统有该名称的配置方式,不能重复!</source>
        <translation>Sorry, a scheme of this name already exists!</translation>
    </message>
    <message>
        <source>请将新建信息填写完整！</source>
        <translation>Please fill in all fields of the new model!</translation>
    </message>
    <message>
        <source>电压变比PT和电流变比CT不能配置为0！</source>
        <translation>The voltage ratio PT and the current ratio CT must not be 0!</translation>
    </message>
    <message>
        <source>产品型号命名格式填写不正确，请参照&lt;KX2953B35-01&gt;格式填写！</source>
        <translation>The model name has the wrong format, please write it like &lt;KX2953B35-01&gt;!</translation>
    </message>
    <message>
        <source>该产品型号系统有记录，不能重复添加！</source>
        <translation>This product model already exists and cannot be added again!</translation>
    </message>
</context>
<context>
    <name>Calibration</name>
    <message>
        <source>第%1次读原始AD采集数据为：</source>
        <translation>Raw AD samples, read %1:</translation>
    </message>
    <message>
        <source>未做VIP标定(平均功率数据为0),不计算功率补偿系数!!</source>
        <translation>No VIP calibration done (average power is 0), power compensation not computed!!</translation>
    </message>
    <message>
        <source>未填写源的真实有功功率值,不计算功率补偿系数!!</source>
        <translation>The true active power of the source is not entered, power compensation not computed!!</translation>
    </message>
    <message>
        <source>测量功率与源有功功率之比超出范围,不计算功率补偿系数!!</source>
        <translation>The ratio of measured to source active power is out of range, power compensation not computed!!</translation>
    </message>
    <message>
        <source>第%1次读原始AD采集数据失败</source>
        <translation>Reading raw AD samples failed (read %1)</translation>
    </message>
    <message>
        <source>8次平均数据为：</source>
        <translation>Average of 8 reads:</translation>
    </message>
    <message>
        <source>写 %1 段VIP标定数据失败!!</source>
        <translation>Writing the VIP calibration data of segment %1 failed!!</translation>
    </message>
    <message>
        <source>写 %1 段VIP标定数据成功!</source>
        <translation>VIP calibration data of segment %1 written!</translation>
    </message>
    <message>
        <source>设置标定状态失败!!</source>
        <translation>Setting the calibration state failed!!</translation>
    </message>
    <message>
        <source>初始功率校正系数失败!!</source>
        <translation>Resetting the power correction coefficients failed!!</translation>
    </message>
    <message>
        <source>第%1次读电压角差原始AD采集数据失败</source>
        <translation>Reading the raw voltage angle samples failed (read %1)</translation>
    </message>
    <message>
        <source>30次平均数据为：</source>
        <translation>Average of 30 reads:</translation>
    </message>
    <message>
        <source>角差标定系数为：</source>
        <translation>Angle calibration coefficients:</translation>
    </message>
    <message>
        <source>写角差标定系数数据失败</source>
        <translation>Writing the angle calibration coefficients failed</translation>
    </message>
    <message>
        <source>写角差标定系数数据成功</source>
        <translation>Angle calibration coefficients written</translation>
    </message>
    <message>
        <source>初始%1功率校正系数失败!!</source>
        <translation>Resetting the %1 power correction coefficients failed!!</translation>
    </message>
    <message>
        <source>初始%1功率校正系数完成!</source>
        <translation>%1 power correction coefficients reset!</translation>
    </message>
    <message>
        <source>写相位补偿系数失败</source>
        <translation>Writing the phase compensation coefficients failed</translation>
    </message>
    <message>
        <source>写相位补偿系数成功 K1:%1 %2 %3</source>
        <translation>Phase compensation coefficients written K1:%1 %2 %3</translation>
    </message>
    <message>
        <source>写相位补偿系数成功 K2:%1 %2 %3</source>
        <translation>Phase compensation coefficients written K2:%1 %2 %3</translation>
    </message>
    <message>
        <source>第%1次补偿；</source>
        <translation>Compensation %1;</translation>
    </message>
    <message>
        <source>写标定FLASH 失败!!</source>
        <translation>Writing the calibration to FLASH failed!!</translation>
    </message>
    <message>
        <source>写标定FLASH 成功!!</source>
        <translation>Calibration written to FLASH!!</translation>
    </message>
    <message>
        <source>读标定数据备份失败,本步未写入!!</source>
        <translation>Reading the calibration backup failed, this step wrote nothing!!</translation>
    </message>
    <message>
        <source>保存标定数据备份失败,本步未写入!!</source>
        <translation>Saving the calibration backup failed, this step wrote nothing!!</translation>
    </message>
</context>
<context>
    <name>Configuration</name>
    <message>
        <source>电压额定值或电流额定值超出范围</source>
        <translation>Rated voltage or rated current out of range</translation>
    </message>
    <message>
        <source>额定功率（电压额定值×电流额定值）超出范围</source>
        <translation>Rated power (rated voltage × rated current) out of range</translation>
    </message>
    <message>
        <source>下载配置后读回失败</source>
        <translation>Reading back after the download failed</translation>
    </message>
    <message>
        <source>下载配置数据失败！</source>
        <translation>Downloading the configuration failed!</translation>
    </message>
    <message>
        <source>下载输出参数配置数据失败！</source>
        <translation>Downloading the output parameter list failed!</translation>
    </message>
    <message>
        <source>下载配置数据后读回失败！</source>
        <translation>Reading back the downloaded configuration failed!</translation>
    </message>
    <message>
        <source>下载配置数据成功！</source>
        <translation>Configuration downloaded!</translation>
    </message>
    <message>
        <source>下载配置数据读回不一致！</source>
        <translation>The configuration read back differs from the download!</translation>
    </message>
    <message>
        <source>写入 %1=%2 读回 %3</source>
        <translation>Written %1=%2 read back %3</translation>
    </message>
</context>
<context>
    <name>Conversion</name>
    <message>
        <source>不是有效的十六进制数</source>
        <translation>is not a valid hexadecimal number</translation>
    </message>
    <message>
        <source>超出范围（0～%1）</source>
        <translation>is out of range (0 to %1)</translation>
    </message>
    <message>
        <source>%1“%2”%3</source>
        <translation>%1 “%2” %3</translation>
    </message>
    <message>
        <source>不是有效的整数</source>
        <translation>is not a valid integer</translation>
    </message>
    <message>
        <source>超出范围（%1～%2）</source>
        <translation>is out of range (%1 to %2)</translation>
    </message>
    <message>
        <source>不是有效的数值</source>
        <translation>is not a valid number</translation>
    </message>
</context>
<context>
    <name>Curves</name>
    <message>
        <source>发送：%1    接收：%2</source>
        <translation>Sent: %1    Received: %2</translation>
    </message>
    <message>
        <source>发送：%1    接收数据无返回！</source>
        <translation>Sent: %1    No data received!</translation>
    </message>
</context>
<context>
    <name>DeviceSession</name>
    <message>
        <source>操作正在进行，请稍候！</source>
        <translation>An operation is in progress, please wait!</translation>
    </message>
    <message>
        <source>操作异常结束</source>
        <translation>The operation ended abnormally</translation>
    </message>
</context>
<context>
    <name>Link</name>
    <message>
        <source>初始化失败！！</source>
        <translation>Initialisation failed!!</translation>
    </message>
    <message>
        <source>
没有选择串口：请在“串口设置”中选择端口。</source>
        <translation>
No serial port chosen: choose a port in &quot;Serial settings&quot;.</translation>
    </message>
    <message>
        <source>
串口 %1 不存在：设备未连接，或端口名称有误。</source>
        <translation>
Serial port %1 does not exist: the device is not connected, or the port name is wrong.</translation>
    </message>
    <message>
        <source>
没有权限打开串口 %1：请把当前用户加入拥有该设备的用户组，重新登录后再试。</source>
        <translation>
No permission to open serial port %1: add the current user to the group that owns the device, log in again and retry.</translation>
    </message>
    <message>
        <source>
没有权限打开串口 %1：请把当前用户加入拥有该设备的用户组 %2（sudo usermod -aG %2 $USER），重新登录后再试。</source>
        <translation>
No permission to open serial port %1: add the current user to the group %2 that owns the device (sudo usermod -aG %2 $USER), log in again and retry.</translation>
    </message>
    <message>
        <source>
串口 %1 正被其他程序占用：请先关闭占用它的程序。</source>
        <translation>
Serial port %1 is in use by another program: close that program first.</translation>
    </message>
    <message>
        <source>
串口 %1 不接受所选的通信参数。</source>
        <translation>
Serial port %1 does not accept the chosen line settings.</translation>
    </message>
    <message>
        <source>
串口 %1：%2</source>
        <translation>
Serial port %1: %2</translation>
    </message>
    <message>
        <source>远端不支持 RFC 2217 串口设置，按原始 TCP 通信（串口参数由设备服务器决定）</source>
        <translation>The far end does not support RFC 2217 port settings; talking raw TCP (the device server sets the line)</translation>
    </message>
    <message>
        <source>网络端口应为 tcp://主机:端口 或 rfc2217://主机:端口</source>
        <translation>A network port is tcp://host:port or rfc2217://host:port</translation>
    </message>
    <message>
        <source>连接 %1 超时（%2 秒）</source>
        <translation>Connecting to %1 timed out (%2 s)</translation>
    </message>
    <message>
        <source>无法连接 %1（%2）</source>
        <translation>Cannot connect to %1 (%2)</translation>
    </message>
    <message>
        <source>无法打开</source>
        <translation>cannot be opened</translation>
    </message>
</context>
<context>
    <name>Records</name>
    <message>
        <source>%1：%2（%3）</source>
        <translation>%1: %2 (%3)</translation>
    </message>
    <message>
        <source>无法打开检验记录数据库</source>
        <translation>cannot open the records database</translation>
    </message>
    <message>
        <source>无法连接数据库服务器 %1</source>
        <translation>cannot connect to the database server %1</translation>
    </message>
    <message>
        <source>检验记录数据库已损坏</source>
        <translation>the records database is damaged</translation>
    </message>
    <message>
        <source>完整性检查未通过</source>
        <translation>integrity check failed</translation>
    </message>
    <message>
        <source>不是检验记录数据库</source>
        <translation>not a records database</translation>
    </message>
    <message>
        <source>缺少或不认识的版本</source>
        <translation>missing or unknown layout version</translation>
    </message>
    <message>
        <source>无法建立检验记录数据库</source>
        <translation>cannot create the records database</translation>
    </message>
    <message>
        <source>数据库未打开</source>
        <translation>database not open</translation>
    </message>
    <message>
        <source>检验记录未保存</source>
        <translation>record not saved</translation>
    </message>
    <message>
        <source>暂存文件 %1 无法写入</source>
        <translation>cannot write the queue file %1</translation>
    </message>
    <message>
        <source>无法读取检验记录</source>
        <translation>cannot read the records</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>%1: [%2] %3: %4 超出范围（0～%5）</source>
        <translation>%1: [%2] %3: %4 out of range (0 to %5)</translation>
    </message>
    <message>
        <source>%1: [%2] %3: %4 超出范围（1～1000）</source>
        <translation>%1: [%2] %3: %4 out of range (1 to 1000)</translation>
    </message>
</context>
<context>
    <name>Store</name>
    <message>
        <source>无法创建文件夹 %1</source>
        <translation>Cannot create the folder %1</translation>
    </message>
    <message>
        <source>无法创建 %1</source>
        <translation>Cannot create %1</translation>
    </message>
</context>
<context>
    <name>Switching</name>
    <message>
        <source>根据系统比特率格式切换端口失败！</source>
        <translation>Switching the port to the model&apos;s frame format failed!</translation>
    </message>
    <message>
        <source>配置&lt;比特率格式&gt;数据失败！</source>
        <translation>Writing the &lt;frame format&gt; failed!</translation>
    </message>
    <message>
        <source>配置&lt;通信协议&gt;数据失败！</source>
        <translation>Writing the &lt;protocol&gt; failed!</translation>
    </message>
    <message>
        <source>配置&lt;通信协议&gt;和&lt;比特率格式&gt;成功！</source>
        <translation>&lt;Protocol&gt; and &lt;frame format&gt; written!</translation>
    </message>
    <message>
        <source>进入标定状态切换端口失败！</source>
        <translation>Switching the port for the calibration state failed!</translation>
    </message>
    <message>
        <source>进入标定状态配置通信协议失败！</source>
        <translation>Writing the protocol for the calibration state failed!</translation>
    </message>
    <message>
        <source>进入标定状态成功,可以进行产品标定！</source>
        <translation>Calibration state entered, the product can be calibrated!</translation>
    </message>
</context>
<context>
    <name>UnitCheck</name>
    <message>
        <source>检查数据</source>
        <translation>Check data</translation>
    </message>
</context>
<context>
    <name>UserPage</name>
    <message>
        <source>产品地址为：</source>
        <translation>Module address:</translation>
    </message>
    <message>
        <source>标定数据为：</source>
        <translation>Calibration data:</translation>
    </message>
    <message>
        <source>原始数据为：</source>
        <translation>Raw data:</translation>
    </message>
</context>
</TS>
