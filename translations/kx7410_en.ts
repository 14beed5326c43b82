<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CalibrationController</name>
    <message>
        <source>请打开串口！！</source>
        <translation>Please open the serial port!!</translation>
    </message>
    <message>
        <source>配置通信协后更改端口设置失败！！</source>
        <translation>Protocol set, but changing the port settings failed!!</translation>
    </message>
    <message>
        <source>配置接线模式成功！</source>
        <translation>Wiring mode configured!</translation>
    </message>
    <message>
        <source>配置接线模式失败！</source>
        <translation>Configuring the wiring mode failed!</translation>
    </message>
    <message>
        <source>请关闭读输出数据线程！！</source>
        <translation>Please stop reading the output data first!!</translation>
    </message>
    <message>
        <source>请关闭读曲线数据线程！！</source>
        <translation>Please stop reading the curve data first!!</translation>
    </message>
    <message>
        <source>将产品复位(关闭产品工作电源,再打开),请在10秒钟内点击&lt;OK&gt;按钮！</source>
        <translation>Reset the product (switch its power off and on again), then click &lt;OK&gt; within 10 seconds!</translation>
    </message>
    <message>
        <source>确定执行“%1”吗？该操作将改写模块的标定数据。</source>
        <translation>Run “%1”? This rewrites the module&apos;s calibration data.</translation>
    </message>
    <message>
        <source>产品标定</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>没有%1的标定数据备份！</source>
        <translation>There is no calibration backup of %1!</translation>
    </message>
    <message>
        <source>确定用 %1 的备份恢复标定数据吗?</source>
        <translation>Restore the calibration data from the backup of %1?</translation>
    </message>
    <message>
        <source>恢复标定数据</source>
        <translation>Restore calibration</translation>
    </message>
    <message>
        <source>恢复标定数据成功！</source>
        <translation>Calibration data restored!</translation>
    </message>
    <message>
        <source>恢复标定数据失败！</source>
        <translation>Restoring the calibration data failed!</translation>
    </message>
    <message>
        <source>恢复标定数据后读回失败！</source>
        <translation>Calibration data restored, but reading it back failed!</translation>
    </message>
    <message>
        <source>恢复标定数据读回不一致！</source>
        <translation>Calibration data restored, but the read-back differs!</translation>
    </message>
</context>
<context>
    <name>CalibrationPage</name>
    <message>
        <source>下载配置</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>标定校准</source>
        <translation>Calibrate</translation>
    </message>
    <message>
        <source>协议配置</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>标定配置数据</source>
        <translation>Calibration configuration</translation>
    </message>
    <message>
        <source>电压额定值：</source>
        <translation>Rated voltage:</translation>
    </message>
    <message>
        <source>电流额定值：</source>
        <translation>Rated current:</translation>
    </message>
    <message>
        <source>产品序列号%1：</source>
        <translation>Serial no. %1:</translation>
    </message>
    <message>
        <source>硬件版本号%1：</source>
        <translation>Hardware ver. %1:</translation>
    </message>
    <message>
        <source>--------时间校准-------</source>
        <translation>-------- Clock --------</translation>
    </message>
    <message>
        <source>年：</source>
        <translation>Year:</translation>
    </message>
    <message>
        <source>月：</source>
        <translation>Month:</translation>
    </message>
    <message>
        <source>日：</source>
        <translation>Day:</translation>
    </message>
    <message>
        <source>时：</source>
        <translation>Hour:</translation>
    </message>
    <message>
        <source>分：</source>
        <translation>Min:</translation>
    </message>
    <message>
        <source>秒：</source>
        <translation>Sec:</translation>
    </message>
    <message>
        <source>用户配置参数</source>
        <translation>User parameters</translation>
    </message>
    <message>
        <source>抄表(日)：</source>
        <translation>Reading day:</translation>
    </message>
    <message>
        <source>抄表(时)：</source>
        <translation>Reading hour:</translation>
    </message>
    <message>
        <source>费率数：</source>
        <translation>Tariffs:</translation>
    </message>
    <message>
        <source>时段数：</source>
        <translation>Periods:</translation>
    </message>
    <message>
        <source>脉冲常数：</source>
        <translation>Pulse constant:</translation>
    </message>
    <message>
        <source>启动电流：</source>
        <translation>Start current:</translation>
    </message>
    <message>
        <source>脉冲输出方式：</source>
        <translation>Pulse output:</translation>
    </message>
    <message>
        <source>谐波计算方式：</source>
        <translation>Harmonics:</translation>
    </message>
    <message>
        <source>过压限值：</source>
        <translation>Overvoltage:</translation>
    </message>
    <message>
        <source>欠压限值：</source>
        <translation>Undervoltage:</translation>
    </message>
    <message>
        <source>断相限值：</source>
        <translation>Phase loss:</translation>
    </message>
    <message>
        <source>过欠压/断相阀值：</source>
        <translation>Limit hysteresis:</translation>
    </message>
    <message>
        <source>电压变比PT：</source>
        <translation>PT ratio:</translation>
    </message>
    <message>
        <source>电流变比CT：</source>
        <translation>CT ratio:</translation>
    </message>
    <message>
        <source>CT个数：</source>
        <translation>CT count:</translation>
    </message>
    <message>
        <source>计算需量方式：</source>
        <translation>Demand method:</translation>
    </message>
    <message>
        <source>比特率格式：</source>
        <translation>Frame format:</translation>
    </message>
    <message>
        <source>接线模式：</source>
        <translation>Wiring mode:</translation>
    </message>
    <message>
        <source>读取配置</source>
        <translation>Read back</translation>
    </message>
    <message>
        <source>默认配置</source>
        <translation>Defaults</translation>
    </message>
    <message>
        <source>校时</source>
        <translation>Set clock</translation>
    </message>
    <message>
        <source>读时间</source>
        <translation>Read clock</translation>
    </message>
    <message>
        <source>%1段标定</source>
        <translation>Segment %1</translation>
    </message>
    <message>
        <source>VIP标定</source>
        <translation>VIP calibration</translation>
    </message>
    <message>
        <source>电压相位补偿</source>
        <translation>Voltage phase comp.</translation>
    </message>
    <message>
        <source>补偿系数复位</source>
        <translation>Reset compensation</translation>
    </message>
    <message>
        <source>60度功率补偿</source>
        <translation>60° power comp.</translation>
    </message>
    <message>
        <source>50Hz标定</source>
        <translation>50 Hz</translation>
    </message>
    <message>
        <source>60Hz标定</source>
        <translation>60 Hz</translation>
    </message>
    <message>
        <source>标定完成(清除标定状态标志)</source>
        <translation>Finish calibration (clear the calibration flag)</translation>
    </message>
    <message>
        <source>恢复标定数据</source>
        <translation>Restore calibration</translation>
    </message>
    <message>
        <source>接线模式配置</source>
        <translation>Wiring mode</translation>
    </message>
</context>
<context>
    <name>CheckPage</name>
    <message>
        <source>测试点 %1/%2：请将标准源设为 U %3% I %4% %5° %6Hz，然后点 继续</source>
        <translation>Test point %1/%2: set the reference source to U %3% I %4% %5° %6Hz, then click Continue</translation>
    </message>
    <message>
        <source>未检验</source>
        <translation>Not checked</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格（%1 项）</source>
        <translation>Fail (%1)</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No reply</translation>
    </message>
    <message>
        <source>稳定中 %1/%2</source>
        <translation>Settling %1/%2</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>期望值</source>
        <translation>Expected</translation>
    </message>
    <message>
        <source>测量值</source>
        <translation>Measured</translation>
    </message>
    <message>
        <source>误差</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>限值</source>
        <translation>Limit</translation>
    </message>
    <message>
        <source>结论</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>序列号：</source>
        <translation>Serial:</translation>
    </message>
    <message>
        <source>扫描或输入产品序列号</source>
        <translation>Scan or type the serial number</translation>
    </message>
    <message>
        <source>操作员：</source>
        <translation>Operator:</translation>
    </message>
    <message>
        <source>地址列表：</source>
        <translation>Addresses:</translation>
    </message>
    <message>
        <source>如 1-8；空：串口设置的地址</source>
        <translation>e.g. 1-8, or blank</translation>
    </message>
    <message>
        <source>检验方案：</source>
        <translation>Plan:</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>电压U</source>
        <translation>Voltage U</translation>
    </message>
    <message>
        <source>电流I</source>
        <translation>Current I</translation>
    </message>
    <message>
        <source>角度Φ</source>
        <translation>Angle Φ</translation>
    </message>
    <message>
        <source>频率F</source>
        <translation>Frequency F</translation>
    </message>
    <message>
        <source>读配置数据</source>
        <translation>Config data</translation>
    </message>
    <message>
        <source>读谐波数据</source>
        <translation>Harmonics</translation>
    </message>
    <message>
        <source>读取配置</source>
        <translation>Read back</translation>
    </message>
    <message>
        <source>检查数据</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>保存数据</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>单点</source>
        <translation>Single point</translation>
    </message>
    <message>
        <source>请打开串口！！</source>
        <translation>Please open the serial port!!</translation>
    </message>
    <message>
        <source>地址列表错误：%1</source>
        <translation>Wrong address list: %1</translation>
    </message>
    <message>
        <source>序列号个数（%1）与地址个数（%2）不同！</source>
        <translation>The number of serials (%1) differs from the number of addresses (%2)!</translation>
    </message>
    <message>
        <source>地址 %1（%2/%3）</source>
        <translation>Address %1 (%2/%3)</translation>
    </message>
    <message>
        <source>地址 %1：稳定中 %2/%3</source>
        <translation>Address %1: settling %2/%3</translation>
    </message>
    <message>
        <source>单元</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial</translation>
    </message>
    <message>
        <source>周期</source>
        <translation>Cycles</translation>
    </message>
    <message>
        <source>不合格项</source>
        <translation>Failures</translation>
    </message>
    <message>
        <source>停止检查</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>合格 %1/%2</source>
        <translation>Pass %1/%2</translation>
    </message>
    <message>
        <source>不合格 %1/%2</source>
        <translation>Fail %1/%2</translation>
    </message>
    <message>
        <source>地址 %1</source>
        <translation>Address %1</translation>
    </message>
</context>
<context>
    <name>ConfigurationController</name>
    <message>
        <source>%1未选择</source>
        <translation>%1 nothing chosen</translation>
    </message>
    <message>
        <source>超出范围（0～%1）</source>
        <translation>out of range (0 to %1)</translation>
    </message>
    <message>
        <source>请打开串口！！</source>
        <translation>Please open the serial port!!</translation>
    </message>
    <message>
        <source>下载配置</source>
        <translation>Download configuration</translation>
    </message>
    <message>
        <source>读取配置</source>
        <translation>Read configuration</translation>
    </message>
    <message>
        <source>读配置数据成功！！</source>
        <translation>Configuration read!!</translation>
    </message>
    <message>
        <source>读配置数据失败！！</source>
        <translation>Reading the configuration failed!!</translation>
    </message>
    <message>
        <source>校时</source>
        <translation>Set the clock</translation>
    </message>
    <message>
        <source>校时成功!!</source>
        <translation>Clock set!!</translation>
    </message>
    <message>
        <source>校时失败!!</source>
        <translation>Setting the clock failed!!</translation>
    </message>
    <message>
        <source>读时间</source>
        <translation>Read the clock</translation>
    </message>
    <message>
        <source>读时间失败！！</source>
        <translation>Reading the clock failed!!</translation>
    </message>
    <message>
        <source>下载配置数据成功！</source>
        <translation>Configuration downloaded!</translation>
    </message>
    <message>
        <source>下载配置数据失败！！</source>
        <translation>Downloading the configuration failed!!</translation>
    </message>
    <message>
        <source>设置电量底数</source>
        <translation>Set the energy base</translation>
    </message>
    <message>
        <source>设置电量底数数据成功！</source>
        <translation>Energy base set!</translation>
    </message>
    <message>
        <source>设置电量底数数据失败！</source>
        <translation>Setting the energy base failed!</translation>
    </message>
    <message>
        <source>读通信地址</source>
        <translation>Read the address</translation>
    </message>
    <message>
        <source>读产品通信地址失败！</source>
        <translation>Reading the product&apos;s address failed!</translation>
    </message>
    <message>
        <source>读标定数据</source>
        <translation>Read the calibration data</translation>
    </message>
    <message>
        <source>读标定数据失败！</source>
        <translation>Reading the calibration data failed!</translation>
    </message>
    <message>
        <source>读原始数据</source>
        <translation>Read the raw data</translation>
    </message>
    <message>
        <source>读原始数据失败！</source>
        <translation>Reading the raw data failed!</translation>
    </message>
    <message>
        <source>确定%1吗？</source>
        <translation>%1?</translation>
    </message>
    <message>
        <source>清电能数据成功！</source>
        <translation>Energy cleared!</translation>
    </message>
    <message>
        <source>清电能数据失败！！</source>
        <translation>Clearing the energy failed!!</translation>
    </message>
    <message>
        <source>清需量数据成功！</source>
        <translation>Demand cleared!</translation>
    </message>
    <message>
        <source>清需量数据失败！！</source>
        <translation>Clearing the demand failed!!</translation>
    </message>
    <message>
        <source>清除电能数据</source>
        <translation>Clear the energy</translation>
    </message>
    <message>
        <source>清除需量数据</source>
        <translation>Clear the demand</translation>
    </message>
</context>
<context>
    <name>CurvePage</name>
    <message>
        <source>左键：游标读数    右键拖动：平移    滚轮：缩放</source>
        <translation>Left click: cursor readout    Right drag: pan    Wheel: zoom</translation>
    </message>
    <message>
        <source>功率</source>
        <translation>Power</translation>
    </message>
    <message>
        <source>频率</source>
        <translation>Frequency</translation>
    </message>
    <message>
        <source>电压</source>
        <translation>Voltage</translation>
    </message>
    <message>
        <source>电流</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>在曲线上单击左键放置游标，读取各曲线在该时刻的数值</source>
        <translation>Left-click on the chart to place the cursor and read every curve at that moment</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>把曲线上的数据（显示的曲线）保存为 CSV 文件</source>
        <translation>Save the data of the shown curves as a CSV file</translation>
    </message>
    <message>
        <source>游标之前没有数据</source>
        <translation>No data before the cursor</translation>
    </message>
    <message>
        <source>时间 %1</source>
        <translation>Time %1</translation>
    </message>
    <message>
        <source>序号 %1</source>
        <translation>No. %1</translation>
    </message>
    <message>
        <source>曲线数据.csv</source>
        <translation>curves.csv</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
</context>
<context>
    <name>FormGrid</name>
    <message>
        <source>时段%1时：</source>
        <translation>Period %1 hour:</translation>
    </message>
    <message>
        <source>时段%1分：</source>
        <translation>Period %1 min:</translation>
    </message>
    <message>
        <source>时段%1费率号：</source>
        <translation>Period %1 tariff:</translation>
    </message>
</context>
<context>
    <name>HelpViewer</name>
    <message>
        <source>帮助文件</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>找不到帮助文件 %1！</source>
        <translation>Help file %1 not found!</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>三相电参模块上位机软件</source>
        <translation>Three-Phase Power Module Host</translation>
    </message>
    <message>
        <source>这一站的串口（不写：Config.ini 中的端口）</source>
        <translation>The serial port of this station (default: the port in Config.ini)</translation>
    </message>
</context>
<context>
    <name>PlanEditor</name>
    <message>
        <source>电压U</source>
        <translation>Voltage U</translation>
    </message>
    <message>
        <source>电流I</source>
        <translation>Current I</translation>
    </message>
    <message>
        <source>角度Φ</source>
        <translation>Angle Φ</translation>
    </message>
    <message>
        <source>频率F</source>
        <translation>Frequency F</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>当前方案的修改尚未保存，确定放弃修改吗?</source>
        <translation>The changes to this plan are not saved. Discard them?</translation>
    </message>
    <message>
        <source>请选择产品型号!</source>
        <translation>Please choose a product model!</translation>
    </message>
    <message>
        <source>方案名称不能为空!</source>
        <translation>The plan name must not be empty!</translation>
    </message>
    <message>
        <source>方案中没有测试点,请添加测试点!</source>
        <translation>The plan has no test points, please add one!</translation>
    </message>
    <message>
        <source>请选择要删除的方案!</source>
        <translation>Please choose the plan to delete!</translation>
    </message>
    <message>
        <source>检验方案</source>
        <translation>Test plans</translation>
    </message>
    <message>
        <source>产品型号：</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>方案列表</source>
        <translation>Plans</translation>
    </message>
    <message>
        <source>新建方案</source>
        <translation>New plan</translation>
    </message>
    <message>
        <source>删除方案</source>
        <translation>Delete plan</translation>
    </message>
    <message>
        <source>方案名称：</source>
        <translation>Plan name:</translation>
    </message>
    <message>
        <source>添加测试点</source>
        <translation>Add point</translation>
    </message>
    <message>
        <source>删除测试点</source>
        <translation>Delete point</translation>
    </message>
    <message>
        <source>上移</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>下移</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>确定删除方案 %1 吗?</source>
        <translation>Delete plan %1?</translation>
    </message>
    <message>
        <source>第 %1 个测试点的取值不在可选范围内!</source>
        <translation>Test point %1 has a value outside the choices!</translation>
    </message>
    <message>
        <source>方案 %1 已存在，确定替换吗?</source>
        <translation>Plan %1 exists already. Replace it?</translation>
    </message>
    <message>
        <source>保存方案 %1 失败!</source>
        <translation>Saving plan %1 failed!</translation>
    </message>
    <message>
        <source>保存方案 %1 成功!</source>
        <translation>Plan %1 saved!</translation>
    </message>
</context>
<context>
    <name>RecordsPage</name>
    <message>
        <source>%1（U %2% I %3% %4° %5Hz）</source>
        <translation>%1 (U %2% I %3% %4° %5Hz)</translation>
    </message>
    <message>
        <source>（无）</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>检验记录</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>序列号的一部分</source>
        <translation>Part of the serial</translation>
    </message>
    <message>
        <source>起始日期</source>
        <translation>From</translation>
    </message>
    <message>
        <source>结束日期</source>
        <translation>To</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>查询</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>结论</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>操作员</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>不合格数</source>
        <translation>Failures</translation>
    </message>
    <message>
        <source>测试点</source>
        <translation>Point</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>显示值</source>
        <translation>Shown</translation>
    </message>
    <message>
        <source>期望值</source>
        <translation>Expected</translation>
    </message>
    <message>
        <source>测量值</source>
        <translation>Measured</translation>
    </message>
    <message>
        <source>误差</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>限值</source>
        <translation>Limit</translation>
    </message>
    <message>
        <source>单位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>写入与读回的内容</source>
        <translation>What was written and read back</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>导出报表</source>
        <translation>Export report</translation>
    </message>
    <message>
        <source>共 %1 条记录</source>
        <translation>%1 records</translation>
    </message>
    <message>
        <source>无法读取该记录：%1</source>
        <translation>Cannot read this record: %1</translation>
    </message>
    <message>
        <source>选择一条记录查看其全部内容</source>
        <translation>Choose a record to see all of it</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>记录号：%1    类型：%2</source>
        <translation>Record: %1    Kind: %2</translation>
    </message>
    <message>
        <source>序列号：%1</source>
        <translation>Serial: %1</translation>
    </message>
    <message>
        <source>型号：%1</source>
        <translation>Model: %1</translation>
    </message>
    <message>
        <source>操作员：%1    工位：%2</source>
        <translation>Operator: %1    Station: %2</translation>
    </message>
    <message>
        <source>软件版本：%1</source>
        <translation>Software: %1</translation>
    </message>
    <message>
        <source>开始：%1</source>
        <translation>Started: %1</translation>
    </message>
    <message>
        <source>结束：%1</source>
        <translation>Ended: %1</translation>
    </message>
    <message>
        <source>串口：%1  %2</source>
        <translation>Port: %1  %2</translation>
    </message>
    <message>
        <source>协议：%1    地址：%2</source>
        <translation>Protocol: %1    Address: %2</translation>
    </message>
    <message>
        <source>方案：%1</source>
        <translation>Plan: %1</translation>
    </message>
    <message>
        <source>（单点）</source>
        <translation>(single point)</translation>
    </message>
    <message>
        <source>测试点：%1</source>
        <translation>Points: %1</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>结论：%1    不合格数：%2</source>
        <translation>Verdict: %1    Failures: %2</translation>
    </message>
    <message>
        <source>无法读取记录 %1：%2</source>
        <translation>Cannot read record %1: %2</translation>
    </message>
    <message>
        <source>检验记录.csv</source>
        <translation>records.csv</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>请先选择要导出报表的记录！</source>
        <translation>Please choose the records to export first!</translation>
    </message>
    <message>
        <source>选择保存报表的文件夹</source>
        <translation>Choose the folder for the reports</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>已导出 %1 份，%2 份未导出：</source>
        <translation>%1 exported, %2 not exported:</translation>
    </message>
</context>
<context>
    <name>TGlForm</name>
    <message>
        <source>管理配置界面</source>
        <translation>Management</translation>
    </message>
    <message>
        <source>新建/修改/删除配置方式</source>
        <translation>New / change / delete schemes</translation>
    </message>
    <message>
        <source>新建/修改/删除产品配置</source>
        <translation>New / change / delete products</translation>
    </message>
    <message>
        <source>可选参数列表</source>
        <translation>Available parameters</translation>
    </message>
    <message>
        <source>上移</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>下移</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>移除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>全部添加</source>
        <translation>Add all</translation>
    </message>
    <message>
        <source>全部移除</source>
        <translation>Remove all</translation>
    </message>
    <message>
        <source>已选参数列表</source>
        <translation>Chosen parameters</translation>
    </message>
    <message>
        <source>保存配置方式</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>删除配置方式</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>新增产品型号：</source>
        <translation>New model:</translation>
    </message>
    <message>
        <source>选择配置方式：</source>
        <translation>Scheme:</translation>
    </message>
    <message>
        <source>比特率格式：</source>
        <translation>Frame format:</translation>
    </message>
    <message>
        <source>N无,2S</source>
        <translation>N,2S</translation>
    </message>
    <message>
        <source>O奇,1S</source>
        <translation>O,1S</translation>
    </message>
    <message>
        <source>E偶,1S</source>
        <translation>E,1S</translation>
    </message>
    <message>
        <source>N无,1S</source>
        <translation>N,1S</translation>
    </message>
    <message>
        <source>接线模式：</source>
        <translation>Wiring mode:</translation>
    </message>
    <message>
        <source>三相四线</source>
        <translation>3-phase 4-wire</translation>
    </message>
    <message>
        <source>三相三线</source>
        <translation>3-phase 3-wire</translation>
    </message>
    <message>
        <source>单相</source>
        <translation>Single-phase</translation>
    </message>
    <message>
        <source>电压变比PT：</source>
        <translation>PT ratio:</translation>
    </message>
    <message>
        <source>电流变比CT：</source>
        <translation>CT ratio:</translation>
    </message>
    <message>
        <source>CT个数：</source>
        <translation>CT count:</translation>
    </message>
    <message>
        <source>计算需量方式：</source>
        <translation>Demand method:</translation>
    </message>
    <message>
        <source>固定滑块</source>
        <translation>Fixed block</translation>
    </message>
    <message>
        <source>滑差式</source>
        <translation>Sliding</translation>
    </message>
    <message>
        <source>选择产品型号：</source>
        <translation>Product model:</translation>
    </message>
    <message>
        <source>新建产品</source>
        <translation>New product</translation>
    </message>
    <message>
        <source>更新产品配置</source>
        <translation>Update product</translation>
    </message>
    <message>
        <source>删除产品</source>
        <translation>Delete product</translation>
    </message>
    <message>
        <source>检验方案</source>
        <translation>Test plans</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>新建 %1 失败!</source>
        <translation>Creating %1 failed!</translation>
    </message>
    <message>
        <source>修改 %1 失败!</source>
        <translation>Changing %1 failed!</translation>
    </message>
    <message>
        <source>新建 %1 成功!</source>
        <translation>%1 created!</translation>
    </message>
    <message>
        <source>修改 %1 成功!</source>
        <translation>%1 changed!</translation>
    </message>
    <message>
        <source>确定删除 %1 吗?</source>
        <translation>Delete %1?</translation>
    </message>
    <message>
        <source>添加  %1  产品失败!</source>
        <translation>Adding product %1 failed!</translation>
    </message>
    <message>
        <source>添加  %1  产品成功!</source>
        <translation>Product %1 added!</translation>
    </message>
    <message>
        <source>更新产品 %1 配置数据成功！</source>
        <translation>Product %1 updated!</translation>
    </message>
    <message>
        <source>确定删除 %1 产品吗?</source>
        <translation>Delete product %1?</translation>
    </message>
</context>
<context>
    <name>TLoginForm</name>
    <message>
        <source>用户登录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>        欢迎登陆        请输入相关信息</source>
        <translation>Welcome. Please enter your name and password.</translation>
    </message>
    <message>
        <source>用 户 名：</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>密      码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>保存登陆名</source>
        <translation>Remember the user name</translation>
    </message>
    <message>
        <source>登    录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>取    消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>KX7410M3三相电参数采集模块上位机软件   V1.0</source>
        <translation>KX7410M3 Three-Phase Power Acquisition Module Host   V1.0</translation>
    </message>
    <message>
        <source>串口设置</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>进入串口设置界面</source>
        <translation>Open the serial port settings</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open port</translation>
    </message>
    <message>
        <source>打开关闭串口</source>
        <translation>Open or close the serial port</translation>
    </message>
    <message>
        <source>检验配置</source>
        <translation>Check setup</translation>
    </message>
    <message>
        <source>进入检验配置界面</source>
        <translation>Open the inspection settings</translation>
    </message>
    <message>
        <source>管理配置</source>
        <translation>Manage</translation>
    </message>
    <message>
        <source>进入管理配置界面</source>
        <translation>Open the management window</translation>
    </message>
    <message>
        <source>帮助文件</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>查看帮助文件</source>
        <translation>Show the help file</translation>
    </message>
    <message>
        <source>退出程序</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>关闭退出软件</source>
        <translation>Close the program</translation>
    </message>
    <message>
        <source>配置管理</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>查看</source>
        <translation>View</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于.......</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>选择产品型号：</source>
        <translation>Product model:</translation>
    </message>
    <message>
        <source>进入标定状态</source>
        <translation>Enter calibration</translation>
    </message>
    <message>
        <source>产品标定</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>实时数据</source>
        <translation>Real-time data</translation>
    </message>
    <message>
        <source>清除电能数据</source>
        <translation>Clear energy</translation>
    </message>
    <message>
        <source>清除需量数据</source>
        <translation>Clear demand</translation>
    </message>
    <message>
        <source>曲线监测</source>
        <translation>Curves</translation>
    </message>
    <message>
        <source>用户配置</source>
        <translation>User setup</translation>
    </message>
    <message>
        <source>检验记录</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>COM1,9600,N无,8,1</source>
        <translation>COM1,9600,N,8,1</translation>
    </message>
    <message>
        <source>端口信息显示</source>
        <translation>Port settings</translation>
    </message>
    <message>
        <source>三相电参数采集模块</source>
        <translation>Three-phase power module</translation>
    </message>
    <message>
        <source>状态信息显示</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>配置</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>功能显示</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close port</translation>
    </message>
    <message>
        <source>KX7410M3三相电参数采集模块上位机软件
版本：V1.0
完成日期：2026年12月</source>
        <translation>KX7410M3 Three-Phase Power Acquisition Module Host
Version: V1.0
Completed: December 2026</translation>
    </message>
    <message>
        <source>标定</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>检验</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>曲线</source>
        <translation>Curves</translation>
    </message>
    <message>
        <source>确定退出吗?</source>
        <translation>Quit the program?</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>正在进行：%1</source>
        <translation>Running: %1</translation>
    </message>
    <message>
        <source>N无,2S</source>
        <translation>N,2S</translation>
    </message>
    <message>
        <source>O奇,1S</source>
        <translation>O,1S</translation>
    </message>
    <message>
        <source>E偶,1S</source>
        <translation>E,1S</translation>
    </message>
    <message>
        <source>N无,1S</source>
        <translation>N,1S</translation>
    </message>
    <message>
        <source>三相四线</source>
        <translation>3-phase 4-wire</translation>
    </message>
    <message>
        <source>三相三线</source>
        <translation>3-phase 3-wire</translation>
    </message>
    <message>
        <source>单相</source>
        <translation>Single-phase</translation>
    </message>
    <message>
        <source>有功脉冲输出</source>
        <translation>Active energy</translation>
    </message>
    <message>
        <source>无功脉冲输出</source>
        <translation>Reactive energy</translation>
    </message>
    <message>
        <source>固定滑块</source>
        <translation>Fixed block</translation>
    </message>
    <message>
        <source>滑差式</source>
        <translation>Sliding</translation>
    </message>
    <message>
        <source>不使能</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>使能</source>
        <translation>On</translation>
    </message>
    <message>
        <source>操作数据库失败！</source>
        <translation>Database operation failed!</translation>
    </message>
    <message>
        <source>产品型号不允许为空！</source>
        <translation>The product model must not be empty!</translation>
    </message>
</context>
<context>
    <name>TRealPowerForm</name>
    <message>
        <source>请填写当前频率下</source>
        <translation>At the present frequency</translation>
    </message>
    <message>
        <source>源有功功率：</source>
        <translation>Source active power:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>请填写源的真实有功功率值！</source>
        <translation>Please enter the source&apos;s true active power!</translation>
    </message>
</context>
<context>
    <name>TSetCheckForm</name>
    <message>
        <source>额定电压(V)：</source>
        <translation>Rated voltage (V):</translation>
    </message>
    <message>
        <source>额定电流(A)：</source>
        <translation>Rated current (A):</translation>
    </message>
    <message>
        <source>频率(Hz)：</source>
        <translation>Frequency (Hz):</translation>
    </message>
    <message>
        <source>电压(级)：</source>
        <translation>Voltage (class):</translation>
    </message>
    <message>
        <source>电流(级)：</source>
        <translation>Current (class):</translation>
    </message>
    <message>
        <source>功率因数(级)：</source>
        <translation>Power factor (class):</translation>
    </message>
    <message>
        <source>有功功率(级)：</source>
        <translation>Active power (class):</translation>
    </message>
    <message>
        <source>无功功率(级)：</source>
        <translation>Reactive power (class):</translation>
    </message>
    <message>
        <source>视在功率(级)：</source>
        <translation>Apparent power (class):</translation>
    </message>
    <message>
        <source>检验参数配置</source>
        <translation>Inspection settings</translation>
    </message>
    <message>
        <source>准确度设置</source>
        <translation>Accuracy classes</translation>
    </message>
    <message>
        <source>额定值设置</source>
        <translation>Rated values</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TSetComForm</name>
    <message>
        <source>N无</source>
        <translation>N</translation>
    </message>
    <message>
        <source>O奇</source>
        <translation>O</translation>
    </message>
    <message>
        <source>E偶</source>
        <translation>E</translation>
    </message>
    <message>
        <source>系统通信设置</source>
        <translation>Serial port settings</translation>
    </message>
    <message>
        <source>端口号：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>校验码：</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>数据位：</source>
        <translation>Data bits:</translation>
    </message>
    <message>
        <source>停止位：</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>地    址：</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>地址：</source>
        <translation>Address:</translation>
    </message>
</context>
<context>
    <name>TrafficModel</name>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Dir.</translation>
    </message>
    <message>
        <source>帧</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>解析</source>
        <translation>Decoded</translation>
    </message>
    <message>
        <source>往返(ms)</source>
        <translation>RTT (ms)</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>接收</source>
        <translation>Rx</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Tx</translation>
    </message>
    <message>
        <source>无数据</source>
        <translation>No data</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No reply</translation>
    </message>
</context>
<context>
    <name>TrafficPanel</name>
    <message>
        <source>通信监视</source>
        <translation>Traffic monitor</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>仅显示错误</source>
        <translation>Errors only</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>另存为CSV</source>
        <translation>Save as CSV</translation>
    </message>
    <message>
        <source>共 %1 次 |</source>
        <translation>%1 exchanges |</translation>
    </message>
    <message>
        <source> | 往返 —</source>
        <translation> | round trip —</translation>
    </message>
    <message>
        <source> | 往返 最小 %1 ms 平均 %2 ms 最大 %3 ms</source>
        <translation> | round trip min %1 ms mean %2 ms max %3 ms</translation>
    </message>
    <message>
        <source>通信记录.csv</source>
        <translation>traffic.csv</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
</context>
<context>
    <name>UserPage</name>
    <message>
        <source>用户配置参数</source>
        <translation>User parameters</translation>
    </message>
    <message>
        <source>抄表(日)：</source>
        <translation>Reading day:</translation>
    </message>
    <message>
        <source>抄表(时)：</source>
        <translation>Reading hour:</translation>
    </message>
    <message>
        <source>费率数：</source>
        <translation>Tariffs:</translation>
    </message>
    <message>
        <source>时段数：</source>
        <translation>Periods:</translation>
    </message>
    <message>
        <source>脉冲输出方式：</source>
        <translation>Pulse output:</translation>
    </message>
    <message>
        <source>脉冲常数：</source>
        <translation>Pulse constant:</translation>
    </message>
    <message>
        <source>启动电流：</source>
        <translation>Start current:</translation>
    </message>
    <message>
        <source>谐波计算方式：</source>
        <translation>Harmonics:</translation>
    </message>
    <message>
        <source>接线模式：</source>
        <translation>Wiring mode:</translation>
    </message>
    <message>
        <source>电压变比PT：</source>
        <translation>PT ratio:</translation>
    </message>
    <message>
        <source>电流变比CT：</source>
        <translation>CT ratio:</translation>
    </message>
    <message>
        <source>CT个数：</source>
        <translation>CT count:</translation>
    </message>
    <message>
        <source>低通讯波特率使能：</source>
        <translation>Low baud rate:</translation>
    </message>
    <message>
        <source>过压限值：</source>
        <translation>Overvoltage:</translation>
    </message>
    <message>
        <source>欠压限值：</source>
        <translation>Undervoltage:</translation>
    </message>
    <message>
        <source>计算需量方式：</source>
        <translation>Demand method:</translation>
    </message>
    <message>
        <source>断相限值：</source>
        <translation>Phase loss:</translation>
    </message>
    <message>
        <source>过欠压/断相阈值：</source>
        <translation>Limit hysteresis:</translation>
    </message>
    <message>
        <source>年：</source>
        <translation>Year:</translation>
    </message>
    <message>
        <source>月：</source>
        <translation>Month:</translation>
    </message>
    <message>
        <source>日：</source>
        <translation>Day:</translation>
    </message>
    <message>
        <source>时：</source>
        <translation>Hour:</translation>
    </message>
    <message>
        <source>分：</source>
        <translation>Min:</translation>
    </message>
    <message>
        <source>秒：</source>
        <translation>Sec:</translation>
    </message>
    <message>
        <source>下载配置</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>电量底数：</source>
        <translation>Energy base:</translation>
    </message>
    <message>
        <source>设置电量底数</source>
        <translation>Set energy base</translation>
    </message>
    <message>
        <source>读通信地址</source>
        <translation>Read address</translation>
    </message>
    <message>
        <source>读标定数据</source>
        <translation>Read calibration</translation>
    </message>
    <message>
        <source>读原始数据</source>
        <translation>Read raw data</translation>
    </message>
</context>
</TS>
